# The environment every Windows program of this project runs in under Wine: the tests (CMake's
# emulator, cmake/WindowsBuild.cmake), the end-to-end driver (cli/tests/WineSession.cpp, given
# it at build time) and the scripts, which source this file. Each one names its own WINEPREFIX.
# One "export NAME=VALUE" a line, the value without spaces, quotes or semicolons, so that CMake
# reads it as the shell does.

# Without Wine's chatter on the tests' output.
export WINEDEBUG=-all
# No offer to install .NET or the HTML engine into a fresh prefix.
export WINEDLLOVERRIDES=mscoree,mshtml=
