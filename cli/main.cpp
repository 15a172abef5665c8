#include <iostream>
#include <string>
#include <vector>

#include "cli/modem_cli.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return vantrel::cli::runModemCli(args, std::cin, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "vantrel-modem: " << e.what() << '\n';
        return 1;
    }
}
