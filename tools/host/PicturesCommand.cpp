// tessel-host pictures: asks a plug-in's editor for every picture it paints
// itself (the vendor message of VendorMessages.h) and writes each to
// DIR/<id>-<name>.png for review. It needs no display: the plug-in paints
// into the host's buffer. A plug-in that knows no such message gives none.
#include "Commands.h"
#include "PluginHost.h"
#include "VendorMessages.h"

#include <cairo.h>

#include <cctype>
#include <filesystem>
#include <ostream>
#include <vector>

namespace Host {
namespace {
// The editors' resource numbers run from 0 to 600.
constexpr int kLastPictureId = 600;
// Pictures larger than this are refused (a plug-in's size is not trusted).
constexpr int64_t kMaxPicturePixels = int64_t{1} << 26;

bool writePng(const std::string& path, const VendorPictureRequest& r)
{
    cairo_surface_t* s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(r.pixels),
                                                             CAIRO_FORMAT_ARGB32, r.width, r.height, r.width * 4);
    const bool written = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return written;
}

// The name as a safe file-name piece: letters, digits, '-' and '_' only.
std::string fileNamePiece(const char* name)
{
    std::string out;
    for (const char* c = name; *c && out.size() < 47; ++c)
        out += (std::isalnum(static_cast<unsigned char>(*c)) || *c == '-' || *c == '_') ? *c : '_';
    return out.empty() ? "picture" : out;
}
} // namespace

int runPictures(const HostOptions& o, std::ostream& out, std::ostream& err)
{
    std::error_code ec;
    std::filesystem::create_directories(o.out, ec);
    if (!std::filesystem::is_directory(o.out)) {
        err << "tessel-host: cannot make the folder " << o.out << "\n";
        return 1;
    }
    PluginHost_c host({o.idle, &err});
    std::string error;
    if (!host.load(o.plugin, error)) {
        err << "tessel-host: " << error << "\n";
        return 1;
    }
    host.dispatch(effOpen);
    int written = 0;
    int status = 0;
    for (int id = 0; id <= kLastPictureId; ++id) {
        VendorPictureRequest r;
        if (host.dispatch(effVendorSpecific, kVendorPictureMessage, id, &r) != 1)
            continue;
        r.name[sizeof r.name - 1] = 0;
        const int64_t pixels = int64_t{r.width} * r.height;
        if (r.width < 1 || r.height < 1 || pixels > kMaxPicturePixels) {
            err << "tessel-host: picture " << id << " has an impossible size " << r.width << "x" << r.height << "\n";
            status = 1;
            continue;
        }
        std::vector<uint32_t> buffer(static_cast<size_t>(pixels));
        r.pixels = buffer.data();
        r.capacity = pixels;
        const int32_t width = r.width;
        const int32_t height = r.height;
        if (host.dispatch(effVendorSpecific, kVendorPictureMessage, id, &r) != 1 || r.width != width ||
            r.height != height) {
            err << "tessel-host: picture " << id << " was not delivered\n";
            status = 1;
            continue;
        }
        const std::string path =
            (std::filesystem::path(o.out) / (std::to_string(id) + "-" + fileNamePiece(r.name) + ".png")).string();
        if (!writePng(path, r)) {
            err << "tessel-host: cannot write " << path << "\n";
            status = 1;
            continue;
        }
        out << "picture: " << id << " " << fileNamePiece(r.name) << " " << r.width << "x" << r.height
            << " frames=" << r.frames << "\n";
        ++written;
    }
    host.close();
    out << "pictures: " << written << "\n";
    if (written == 0) {
        err << "tessel-host: " << o.plugin << " paints no pictures of its own\n";
        return 1;
    }
    return status;
}

} // namespace Host
