// libFuzzer entry: any bytes as an ELF file, through the same reader the info window uses.
#include <cstddef>
#include <cstdint>

#include "info/ElfNotes.h"
#include "info/VersionNoteFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quillon::TMemoryByteSource source(data, size);
    quillon::DetectExecutableFormat(source);
    if (const auto note =
            quillon::FindElfNote(source, quillon::kVersionNoteOwner, quillon::kVersionNoteType)) {
        quillon::ParseVersionNote(note->Descriptor.data(), note->Descriptor.size(),
                                  note->BigEndian);
    }
    // The descriptor parser on its own, in both byte orders.
    quillon::ParseVersionNote(data, size, false);
    quillon::ParseVersionNote(data, size, true);
    return 0;
}
