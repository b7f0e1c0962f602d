// Packing a project into a bundle folder or a zipped bundle.
#include "QzGamePacker.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include <unistd.h>

#include "QzBundle.h"
#include "QzShippedFiles.h"

namespace fs = std::filesystem;

namespace {

// One file of the bundle: its path inside the bundle and where its bytes come from.
struct BundleFile {
    std::string path;      // relative to NAME.app
    std::string source;    // a file to copy; empty: `contents` is written
    std::string contents;
};

std::string escapedXml(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '&') escaped += "&amp;";
        else if (c == '<') escaped += "&lt;";
        else if (c == '>') escaped += "&gt;";
        else escaped += c;
    }
    return escaped;
}

std::string infoPlist(const QzBundleInfo& info) {
    std::string plist = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                        "  <key>CFBundleName</key>\n  <string>" + escapedXml(info.bundleName) + "</string>\n";
    if (info.startFullscreenSet)
        plist += std::string("  <key>QzStartFullscreen</key>\n  <") + (info.startFullscreen ? "true" : "false") + "/>\n";
    plist += std::string("  <key>QzOverscan</key>\n  <") + (info.overscan ? "true" : "false") + "/>\n</dict>\n</plist>\n";
    return plist;
}

bool hiddenBelow(const fs::path& relative) {
    return std::any_of(relative.begin(), relative.end(), [](const fs::path& part) { return part.string()[0] == '.'; });
}

// Every file of the bundle, in name order so that packing is repeatable.
bool listBundle(const fs::path& project, const QzBundleInfo& info, const std::string& engine,
                std::vector<BundleFile>* files, std::string* error) {
    files->push_back({"Contents/Info.plist", "", infoPlist(info)});
    files->push_back({"Contents/Resources/engine64.luo", engine, ""});
    if (fs::is_regular_file(project / "Default.png")) files->push_back({"Contents/Resources/Default.png", (project / "Default.png").string(), ""});
    const std::string inside = "Contents/Resources/" + project.filename().string() + "/";
    std::error_code failure;
    std::vector<BundleFile> projectFiles;
    for (fs::recursive_directory_iterator it(project, failure), end; !failure && it != end; it.increment(failure)) {
        const fs::path relative = fs::relative(it->path(), project);
        if (hiddenBelow(relative)) {
            std::error_code ignored;
            if (it->is_directory(ignored)) it.disable_recursion_pending();
            continue;
        }
        std::error_code ignored;
        if (it->is_regular_file(ignored)) projectFiles.push_back({inside + relative.generic_string(), it->path().string(), ""});
    }
    if (failure) {
        *error = "cannot read the project '" + project.string() + "': " + failure.message();
        return false;
    }
    std::sort(projectFiles.begin(), projectFiles.end(), [](const BundleFile& a, const BundleFile& b) { return a.path < b.path; });
    files->insert(files->end(), projectFiles.begin(), projectFiles.end());
    return true;
}

bool readAll(const BundleFile& file, std::string* bytes) {
    if (file.source.empty()) {
        *bytes = file.contents;
        return true;
    }
    std::ifstream in(file.source, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool writeFolder(const std::vector<BundleFile>& files, const fs::path& folder, std::string* error) {
    for (const BundleFile& file : files) {
        const fs::path target = folder / file.path;
        std::error_code failure;
        fs::create_directories(target.parent_path(), failure);
        std::string bytes;
        if (failure || !readAll(file, &bytes)) {
            *error = "cannot copy '" + (file.source.empty() ? file.path : file.source) + "' into the bundle";
            return false;
        }
        std::ofstream out(target, std::ios::binary);
        out << bytes;
        if (!out.flush()) {
            *error = "cannot write '" + target.string() + "'; check the free space and permissions";
            return false;
        }
    }
    return true;
}

bool writeZip(const std::vector<BundleFile>& files, const std::string& top, const std::string& path, std::string* error) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    bool ok = zip != nullptr;
    for (size_t i = 0; ok && i < files.size(); ++i) {
        std::string bytes;
        ok = readAll(files[i], &bytes);
        zip_fileinfo info{};
        info.tmz_date.tm_year = 1980;  // a fixed, valid date: packing is repeatable
        info.tmz_date.tm_mday = 1;
        const std::string name = top + "/" + files[i].path;
        ok = ok && zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                         Z_DEFAULT_COMPRESSION, bytes.size() >= 0xffffffffu) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())) == ZIP_OK;
        ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    }
    if (zip && zipClose(zip, nullptr) != ZIP_OK) ok = false;
    if (!ok) *error = "cannot write the archive '" + path + "'; check the free space and permissions";
    return ok;
}

bool isArchiveName(const std::string& output) {
    std::string lowered = fs::path(output).extension().string();
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](unsigned char c) { return std::tolower(c); });
    return lowered == ".zip" || lowered == ".qzgame";
}

}  // namespace

bool QzPackGame(const std::string& project, const std::string& output, std::string* error) {
    QzBundle bundle;
    if (!QzOpenProjectFolder(project, &bundle, error)) return false;
    fs::path target = fs::path(output).lexically_normal();
    if (target.filename().empty()) target = target.parent_path();
    std::error_code failure;
    if (fs::exists(fs::symlink_status(target, failure))) {
        *error = "'" + target.string() + "' already exists; remove it or choose another --output";
        return false;
    }
    std::vector<BundleFile> files;
    if (!listBundle(bundle.projectPath, bundle.info, bundle.enginePath, &files, error)) return false;
    // Made under a name of its own beside the output, so that a failed pack leaves nothing.
    const fs::path partial = target.string() + ".partial-" + std::to_string(getpid());
    fs::remove_all(partial, failure);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), failure);
    const bool archive = isArchiveName(target.string());
    const bool written = archive ? writeZip(files, target.stem().string() + ".app", partial.string(), error)
                                 : writeFolder(files, partial, error);
    if (written) fs::rename(partial, target, failure);
    if (!written || failure) {
        if (written) *error = "cannot move the bundle into place at '" + target.string() + "': " + failure.message();
        fs::remove_all(partial, failure);
        return false;
    }
    return true;
}
