#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "info/ElfNotes.h"
#include "info/VersionResource.h"

namespace quillon {

namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// Only regular files are opened: a FIFO or device node named by mistake would block or
// stream forever.
bool IsRegularFile(const std::string& path, mode_t* mode = nullptr) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    if (mode != nullptr) {
        *mode = st.st_mode;
    }
    return true;
}

}  // namespace

TVersionResource TVersionResource::Load(const std::string& path) {
    TVersionResource resource;
    if (!IsRegularFile(path)) {
        return resource;
    }
    TFileByteSource source(path);
    if (!source.IsOpen()) {
        return resource;
    }
    if (const auto note = FindElfNote(source, kVersionNoteOwner, kVersionNoteType)) {
        resource.note_ =
            ParseVersionNote(note->Descriptor.data(), note->Descriptor.size(), note->BigEndian);
    }
    return resource;
}

bool TVersionResource::Empty() const {
    return !note_.has_value();
}

std::string TVersionResource::QueryVersionString(std::string_view key) const {
    if (!note_) {
        return {};
    }
    for (const auto& [name, value] : note_->Strings) {
        if (EqualsIgnoringAsciiCase(name, key)) {
            return value;
        }
    }
    return {};
}

std::optional<TFixedFileInfo> TVersionResource::FixedFileInfo() const {
    if (!note_) {
        return std::nullopt;
    }
    return note_->Fixed;
}

bool IsExecutableFile(const std::string& path) {
    mode_t mode = 0;
    if (!IsRegularFile(path, &mode) || (mode & (S_IXUSR | S_IXGRP | S_IXOTH)) == 0) {
        return false;
    }
    TFileByteSource source(path);
    return source.IsOpen() && DetectExecutableFormat(source) != TExecutableFormat::None;
}

}  // namespace quillon
