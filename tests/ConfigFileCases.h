#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillon::test {

// Configuration files that a technician may hand in, good and bad, with what each is: every
// front end runs the same table and asserts its own outcome for it.
struct ConfigFileCase {
    std::string Name;            // also the file's name
    std::vector<uint8_t> Bytes;  // the whole file
    bool Sound = false;          // exactly 64 bytes, a settings record the page can show
    std::string Refusal;         // a part of the message that refuses it
};

// A good record: 9600 baud, 20 ms character delay, CR at the end of a line; byte 40 marks
// that bytes 13 to 63 travel with the file.
inline std::vector<uint8_t> SoundConfigFile() {
    std::vector<uint8_t> bytes(64, 0);
    bytes[0] = 3;
    bytes[1] = 9;   // a version the adapter's own replaces
    bytes[3] = 8;   // 9600 baud
    bytes[4] = 2;   // 20 ms
    bytes[11] = 1;  // CR
    bytes[12] = 1;
    bytes[40] = 0x5A;
    return bytes;
}

inline std::vector<ConfigFileCase> ConfigFileCases() {
    std::vector<ConfigFileCase> cases;
    cases.push_back({"good.cfg", SoundConfigFile(), true, ""});
    for (const size_t size : {0, 1, 63, 65, 1000}) {
        std::vector<uint8_t> bytes = SoundConfigFile();
        bytes.resize(size, 0);
        cases.push_back(
            {"size" + std::to_string(size) + ".cfg", bytes, false, "has " + std::to_string(size)});
    }
    const auto withByte = [](size_t at, uint8_t value) {
        std::vector<uint8_t> bytes = SoundConfigFile();
        bytes[at] = value;
        return bytes;
    };
    cases.push_back({"report6.cfg", withByte(0, 6), false, "not a settings file"});
    cases.push_back({"baud7.cfg", withByte(3, 7), false, "byte 3 (baud rate code) holds 7"});
    cases.push_back({"enter7.cfg", withByte(11, 7), false, "byte 11 (enter code) holds 7"});
    cases.push_back({"flow5.cfg", withByte(10, 5), false, "byte 10 (flow control code) holds 5"});
    cases.push_back(
        {"delay250.cfg", withByte(4, 250), false, "byte 4 (character delay) holds 250"});
    cases.push_back({"altkey2.cfg", withByte(2, 2), false, "byte 2 (alt-key option) holds 2"});
    cases.push_back({"clearmem9.cfg", withByte(9, 9), false, "byte 9 (clear-data option) holds 9"});
    return cases;
}

}  // namespace quillon::test
