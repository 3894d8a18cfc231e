// tessel-bank: makes and checks the factory bank.
//
//   tessel-bank samples FOLDER
//       writes the generated samples into FOLDER
//   tessel-bank build PLUGIN DEFINITIONS SAMPLES BANK [--work DIR] [--only NAME]...
//       applies every definition through the plug-in, checks that each value
//       survives a store and a load, and writes the presets and their
//       samples into BANK
//   tessel-bank annotate PLUGIN DEFINITIONS SAMPLES [--work DIR] [--only NAME]...
//       gives every entry without a comment its value's display text
//   tessel-bank measure PLUGIN DEFINITIONS SAMPLES [--wav DIR] [--only NAME]...
//       applies each definition and prints the levels and measures the
//       checks use (with --wav, writes the renders), for designing programs
//   tessel-bank check PLUGIN BANK [--work DIR]
//       the bank's checks: names, program changes, levels, distinctness
//   tessel-bank entries PLUGIN [--work DIR]
//       lists every external entry of the default program: index, name,
//       value, range and display, the reference for writing definitions
#include "BankBuild.h"
#include "BankCheck.h"
#include "SampleForge.h"

#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* Usage =
    "usage: tessel-bank samples FOLDER\n"
    "       tessel-bank build PLUGIN DEFINITIONS SAMPLES BANK [--work DIR] [--only NAME]...\n"
    "       tessel-bank annotate PLUGIN DEFINITIONS SAMPLES [--work DIR] [--only NAME]...\n"
    "       tessel-bank measure PLUGIN DEFINITIONS SAMPLES [--wav DIR] [--work DIR] [--only NAME]...\n"
    "       tessel-bank check PLUGIN BANK [--work DIR]\n"
    "       tessel-bank entries PLUGIN [--work DIR]\n";

// Splits the options off the positional arguments; false on an unknown or
// incomplete option.
bool splitOptions(const std::vector<std::string>& args, std::vector<std::string>& positional, std::string& work,
                  std::string& wav, std::vector<std::string>& only)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--work" || args[i] == "--only" || args[i] == "--wav") {
            if (i + 1 >= args.size())
                return false;
            (args[i] == "--work" ? work : args[i] == "--wav" ? wav : only.emplace_back()) = args[i + 1];
            ++i;
        } else if (args[i].rfind("--", 0) == 0) {
            return false;
        } else {
            positional.push_back(args[i]);
        }
    }
    return true;
}

int run(const std::vector<std::string>& args)
{
    if (args.empty()) {
        std::cerr << Usage;
        return 2;
    }
    const std::string command = args[0];
    std::vector<std::string> positional;
    std::string work = (std::filesystem::temp_directory_path() / "tessel-bank-work").string();
    std::string wav;
    std::vector<std::string> only;
    if (!splitOptions({args.begin() + 1, args.end()}, positional, work, wav, only)) {
        std::cerr << Usage;
        return 2;
    }
    if (command == "samples" && positional.size() == 1) {
        std::string error;
        if (!Bank::writeSampleCatalogue(positional[0], error)) {
            std::cerr << "tessel-bank: " << error << "\n";
            return 1;
        }
        std::cout << Bank::sampleCatalogueNames().size() << " samples written to " << positional[0] << "\n";
        return 0;
    }
    if ((command == "build" && positional.size() == 4) ||
        ((command == "annotate" || command == "measure") && positional.size() == 3)) {
        Bank::BuildOptions o;
        o.plugin = positional[0];
        o.definitions = positional[1];
        o.samples = positional[2];
        o.out = command == "build" ? positional[3] : std::string();
        o.work = work;
        o.only = only;
        if (command == "measure")
            return Bank::measureDefinitions(o, wav, std::cout);
        return command == "build" ? Bank::buildBank(o, std::cout) : Bank::annotateDefinitions(o, std::cout);
    }
    if (command == "entries" && positional.size() == 1)
        return Bank::listEntries(positional[0], work, std::cout);
    if (command == "check" && positional.size() == 2) {
        Bank::CheckOptions o;
        o.plugin = positional[0];
        o.bank = positional[1];
        o.work = work;
        return Bank::checkBank(o, std::cout);
    }
    std::cerr << Usage;
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::cerr << "tessel-bank: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "tessel-bank: unexpected failure\n";
    }
    return 1;
}
