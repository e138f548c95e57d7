// The browser build's files under /app/: static files from one folder, without sign-in (the app
// keeps everything in the browser), with the headers that WebAssembly and Web Workers need.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "server/Server.h"

namespace fs = std::filesystem;

namespace tavi::serve {
namespace {

// The type of a file by its extension; anything else (models, dictionary) is bytes.
std::string MimeType(const fs::path& file) {
    static const std::map<std::string, std::string> types = {
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},
        {".webmanifest", "application/manifest+json"},
        {".wasm", "application/wasm"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
        {".txt", "text/plain; charset=utf-8"},
    };
    auto it = types.find(file.extension().string());
    return it == types.end() ? "application/octet-stream" : it->second;
}

// The file that a path under /app/ names inside `root` (canonical), or empty when it names
// none: a segment that is empty, "." or "..", or starts with "." (hidden files), a NUL or other
// control byte, or a file that resolves (through symbolic links) outside the folder.
fs::path FileInside(const fs::path& root, const std::string& relative) {
    std::string rel = relative.empty() || relative.back() == '/' ? relative + "index.html" : relative;
    size_t start = 0;
    while (start <= rel.size()) {
        size_t end = rel.find('/', start);
        if (end == std::string::npos) end = rel.size();
        std::string_view segment(rel.data() + start, end - start);
        if (segment.empty() || segment.front() == '.') return {};
        for (unsigned char c : segment)
            if (c < 0x20 || c == 0x7f || c == '\\') return {};
        start = end + 1;
    }
    std::error_code ec;
    fs::path file = fs::canonical(root / rel, ec);
    if (ec || !fs::is_regular_file(file, ec)) return {};
    std::string rootText = root.string() + "/";
    if (file.string().compare(0, rootText.size(), rootText) != 0) return {};
    return file;
}

}  // namespace

void Server::AppRoutes() {
    httplib::Server& http = *m_http;
    http.Get("/app", [](const Request&, Response& res) {
        res.status = 301;
        res.set_header("Location", "/app/");
    });
    http.Get("/app/(.*)", [this](const Request& req, Response& res) {
        std::error_code ec;
        fs::path root = m_options.appDir.empty() ? fs::path() : fs::canonical(m_options.appDir, ec);
        if (root.empty() || ec || !fs::is_directory(root, ec)) {
            return ErrorPage(req, res, 404,
                             "このサーバーにはブラウザー版 Tavi のファイルがありません。管理者は make web "
                             "で作るか、Debian パッケージを入れるか、tavi-serve の --app-dir でそのフォルダーを指定して"
                             "ください。",
                             "/", "Tavi のトップへ");
        }
        fs::path file = FileInside(root, req.matches[1].str());
        if (file.empty()) return ErrorPage(req, res, 404, "このページはありません。アドレスを確かめてください。");
        struct stat info {};
        auto in = std::make_shared<std::ifstream>(file, std::ios::binary);
        if (!*in || ::stat(file.c_str(), &info) != 0)
            return ErrorPage(req, res, 404, "このページはありません。アドレスを確かめてください。");

        // Cross-origin isolation (a worker may then share memory), WebAssembly compiled from
        // the page's own files, workers only from this server, and inline styles (those of the
        // feedback sheets, which the app writes into a window of their own).
        res.set_header("Cross-Origin-Opener-Policy", "same-origin");
        res.set_header("Cross-Origin-Embedder-Policy", "require-corp");
        res.set_header("Cross-Origin-Resource-Policy", "same-origin");
        res.set_header(
            "Content-Security-Policy",
            "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; worker-src 'self'; "
            "connect-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data: blob:; object-src 'none'; "
            "base-uri 'none'; form-action 'self'; frame-ancestors 'none'");
        // The page is checked on every load; the files it loads are kept, and checked again
        // cheaply by their tag once they are old.
        const std::string tag = "\"" + std::to_string(info.st_size) + "-" + std::to_string(info.st_mtim.tv_sec) + "." +
                                std::to_string(info.st_mtim.tv_nsec) + "\"";
        res.set_header("ETag", tag);
        res.set_header("Cache-Control", file.extension() == ".html" ? "no-cache" : "max-age=604800");
        if (req.get_header_value("If-None-Match") == tag) {
            res.status = 304;
            return;
        }
        const size_t size = static_cast<size_t>(info.st_size);
        res.set_content_provider(size, MimeType(file), [in](size_t offset, size_t length, httplib::DataSink& sink) {
            char buffer[65536];
            in->seekg(static_cast<std::streamoff>(offset));
            in->read(buffer, static_cast<std::streamsize>(std::min(length, sizeof buffer)));
            std::streamsize got = in->gcount();
            return got > 0 && sink.write(buffer, static_cast<size_t>(got));
        });
    });
    // The files are only read.
    auto onlyRead = [](const Request&, Response& res) {
        res.set_header("Allow", "GET, HEAD");
        FailWith(res, 405, "ブラウザー版のファイルは読むだけです（GET と HEAD）。");
    };
    http.Post("/app(/.*)?", onlyRead);
    http.Put("/app(/.*)?", onlyRead);
    http.Patch("/app(/.*)?", onlyRead);
    http.Delete("/app(/.*)?", onlyRead);
    http.Options("/app(/.*)?", onlyRead);
}

}  // namespace tavi::serve
