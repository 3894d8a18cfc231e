// tessel-host: a headless VST 2.4 host for Linux. See Commands.h.
#include "Commands.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        Host::setEditorRunner(&Host::runEditor);
        Host::setPicturesRunner(&Host::runPictures);
        return Host::runHost(args, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "tessel-host: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "tessel-host: unexpected failure\n";
    }
    return 1;
}
