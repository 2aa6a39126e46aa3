#include <string>

#include "app/application.h"
#include "settings/startup_options.h"

int main(int argc, char** argv) {
    const std::string command_line = plashwerk::joinCommandLine(argc, argv);
    return plashwerk::applicationEntry(command_line.c_str());
}
