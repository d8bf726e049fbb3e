#include "app/StartupArguments.h"

namespace quillon {

namespace {

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

}  // namespace

std::vector<std::string> ParametersAsGiven(int argc, const char* const* argv) {
    std::vector<std::string> parameters;
    for (int i = 1; i < argc; ++i) {
        parameters.emplace_back(argv[i]);
    }
    return parameters;
}

StartupConfig JoinStartupArguments(const std::vector<std::string>& parameters) {
    StartupConfig config;
    if (parameters.empty()) {
        return config;
    }
    std::string joined;
    for (const std::string& parameter : parameters) {
        joined += ' ';
        joined += parameter;
    }
    std::size_t first = 0;
    std::size_t end = joined.size();
    while (first < end && IsBlankOrControl(joined[first])) {
        ++first;
    }
    while (end > first && IsBlankOrControl(joined[end - 1])) {
        --end;
    }
    config.Given = true;
    config.Path = joined.substr(first, end - first);
    return config;
}

}  // namespace quillon
