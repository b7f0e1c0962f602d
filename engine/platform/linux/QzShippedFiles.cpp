// The program's folder and the places shipped files are looked for.
#include "QzShippedFiles.h"

#include <filesystem>
#include <system_error>

std::string QzProgramDirectory() {
    std::error_code failure;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failure);
    return failure || !program.has_parent_path() ? "." : program.parent_path().string();
}

std::string QzFindShippedFile(const std::string& name) {
    const std::filesystem::path folder = QzProgramDirectory();
    std::error_code ignored;
    for (const std::filesystem::path& place : {folder / name, folder / ".." / "share" / "quillane-player" / name})
        if (std::filesystem::exists(place, ignored)) return place.lexically_normal().string();
    return "";
}
