#include "tools/scenetool/render_command.h"

#include <QApplication>
#include <QImage>
#include <QString>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <optional>

#include <unistd.h>

#include "platform/retained/retained.h"
#include "platform/winapi/testing.h"
#include "platform/winapi/winapi.h"
#include "viewer/navigation.h"
#include "viewer/render_context.h"
#include "viewer/viewer_state.h"
#include "viewer/viewer_window.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kRenderClass = "scenetool render";

struct RenderRequest {
    std::string scene = "trans.dat";
    std::string output;
    int width = kRenderDefaultWidth;
    int height = kRenderDefaultHeight;
    std::vector<WPARAM> keys;
    std::uint32_t background = 0;
    const char* format = nullptr; // "PNG" or "BMP"
};

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::optional<int> parseSide(std::string_view text) {
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < 1 || v > kRenderMaxSide)
        return std::nullopt;
    return v;
}

std::optional<WPARAM> keyCode(const std::string& name) {
    static const std::pair<const char*, WPARAM> names[] = {
        {"up", kKeyUp},       {"down", kKeyDown},     {"left", kKeyLeft},
        {"right", kKeyRight}, {"pageup", kKeyPageUp}, {"pagedown", kKeyPageDown},
        {"pgup", kKeyPageUp}, {"pgdn", kKeyPageDown},
    };
    const std::string key = lower(name);
    for (const auto& [n, code] : names)
        if (key == n)
            return code;
    return std::nullopt;
}

// Reads the arguments; on a mistake returns the message for stderr.
std::optional<std::string> parse(const std::vector<std::string>& args, RenderRequest& r) {
    bool haveScene = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const auto value = [&]() -> const std::string* {
            return i + 1 < args.size() ? &args[++i] : nullptr;
        };
        if (a == "-o" || a == "--output") {
            const std::string* v = value();
            if (!v || v->empty())
                return "-o needs a file name";
            r.output = *v;
        } else if (a == "--size") {
            const std::string* v = value();
            const std::size_t x = v ? lower(*v).find('x') : std::string::npos;
            if (x == std::string::npos)
                return "--size needs WxH, for example 1280x720";
            const auto w = parseSide(std::string_view(*v).substr(0, x));
            const auto h = parseSide(std::string_view(*v).substr(x + 1));
            if (!w || !h)
                return "--size: width and height must be whole numbers from 1 to " +
                       std::to_string(kRenderMaxSide);
            r.width = *w;
            r.height = *h;
        } else if (a == "--keys") {
            const std::string* v = value();
            if (!v)
                return "--keys needs a comma-separated list of keys";
            std::size_t start = 0;
            while (start <= v->size()) {
                const std::size_t comma = std::min(v->find(',', start), v->size());
                const std::string name = v->substr(start, comma - start);
                const auto code = keyCode(name);
                if (!code)
                    return "--keys: unknown key '" + name +
                           "' (keys: Up, Down, Left, Right, PageUp, PageDown)";
                r.keys.push_back(*code);
                start = comma + 1;
            }
        } else if (a == "--background") {
            const std::string* v = value();
            std::string_view hex = v ? std::string_view(*v) : std::string_view();
            if (hex.size() > 2 && hex[0] == '0' && (hex[1] == 'x' || hex[1] == 'X'))
                hex.remove_prefix(2);
            std::uint32_t colour = 0;
            const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), colour, 16);
            if (hex.empty() || ec != std::errc() || end != hex.data() + hex.size() ||
                colour > 0xFFFFFF)
                return "--background needs a colour 0xRRGGBB";
            r.background = colour;
        } else if (!a.empty() && a[0] == '-') {
            return "unknown option '" + a + "'";
        } else if (haveScene) {
            return "more than one scene file given";
        } else {
            r.scene = a;
            haveScene = true;
        }
    }
    if (r.output.empty())
        return "-o OUT.png or -o OUT.bmp is required";
    const std::string ext = lower(fs::path(r.output).extension().string());
    if (ext == ".png")
        r.format = "PNG";
    else if (ext == ".bmp")
        r.format = "BMP";
    else
        return "the output must end in .png or .bmp";
    return std::nullopt;
}

LRESULT CALLBACK renderWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The window only carries the picture: creation, sizes and paints of its
    // own are not the viewer's (the render drives the viewer's procedure itself).
    return DefWindowProcA(window, message, wParam, lParam);
}

QImage devicePicture(IDirect3DRMDevice* device) {
    const int width = static_cast<int>(device->GetWidth());
    const int height = static_cast<int>(device->GetHeight());
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    const auto* base = reinterpret_cast<const unsigned char*>(device->GetPixels());
    const std::size_t stride = static_cast<std::size_t>(device->GetStrideBytes());
    for (int y = 0; y < height; ++y) {
        const auto* src = reinterpret_cast<const std::uint32_t*>(base + stride * y);
        auto* dst = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            dst[x] = src[x] | 0xFF000000u;
    }
    return image;
}

int render(const RenderRequest& r, std::ostream& err) {
    std::error_code ec;
    const fs::path scene = fs::absolute(r.scene, ec);
    const fs::path output = fs::absolute(r.output, ec);
    if (ec) {
        err << "scenetool render: " << ec.message() << "\n";
        return 1;
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // no display needed
    int argc = 1;
    char name[] = "scenetool";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    Direct3DRMSetPresenter(PresentDevicePixels);

    // The viewer's failure messages come here instead of a message box.
    std::string failure;
    winapi::testing::setMessageBoxHandler([&](HWND, const std::string& text, const char*, UINT) {
        failure = text;
        return IDOK;
    });

    WNDCLASSA wc{};
    wc.lpfnWndProc = renderWindowProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kRenderClass;
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, kRenderClass, kRenderClass, WS_OVERLAPPEDWINDOW, 0, 0, r.width,
                                  r.height, nullptr, nullptr, nullptr, nullptr);
    RECT client{};
    if (!window || !GetClientRect(window, &client) || client.right != r.width ||
        client.bottom != r.height) {
        err << "scenetool render: could not make a " << r.width << "x" << r.height << " picture\n";
        return 1;
    }

    // Texture names are relative to the scene's folder, as for the viewer
    // started in that folder.
    if (::chdir(scene.parent_path().c_str()) != 0) {
        // A folder that cannot be entered holds no scene the viewer could
        // show: the build below reports it in the viewer's words.
    }
    viewerState.backgroundColor = r.background;
    int status = 0;
    if (buildRenderContext(viewerState, window, scene.c_str()) == 0) {
        err << "scenetool render: " << r.scene << ": " << failure << "\n";
        status = 1;
    } else {
        viewerWindowProc(window, WM_PAINT, 0, 0);
        for (WPARAM key : r.keys) {
            viewerWindowProc(window, WM_KEYDOWN, key, 0);
            viewerWindowProc(window, WM_PAINT, 0, 0);
        }
        const QImage picture = devicePicture(viewerState.rmDevice);
        if (picture.isNull() || !picture.save(QString::fromStdString(output.string()), r.format)) {
            err << "scenetool render: cannot write " << r.output << "\n";
            status = 1;
        }
    }
    releaseRenderContext();
    DestroyWindow(window);
    winapi::testing::setMessageBoxHandler({});
    return status;
}

} // namespace

int runSceneRender(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
    RenderRequest request;
    if (const auto mistake = parse(args, request)) {
        err << "scenetool render: " << *mistake << "\n";
        return 2;
    }
    return render(request, err);
}
