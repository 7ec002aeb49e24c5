// service_extractor_args ADDRESS PORT [--allow-generic]: the site extractor's arguments for
// ADDRESS through the proxy on 127.0.0.1:PORT, one a line (ADDRESS holds no line end).
// service_extractor_args --rows: the rows of the extractor's output read from standard input
// (its first kMaxExtractorOutput bytes), one a line. A test tool: the real extractor is run
// with exactly these arguments and its output read exactly so.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "service/fetch/extractor_command.h"

int main(int argc, char** argv) {
    using namespace ql::service;
    if (argc == 2 && std::strcmp(argv[1], "--rows") == 0) {
        std::string output(kMaxExtractorOutput, '\0');
        output.resize(std::fread(output.data(), 1, output.size(), stdin));
        for (const std::string& row : ExtractorRows(output))
            std::cout << row << '\n';
        return 0;
    }
    const bool allowGeneric = argc == 4 && std::strcmp(argv[3], "--allow-generic") == 0;
    if (argc != 3 && !allowGeneric) {
        std::cerr << "usage: service_extractor_args ADDRESS PORT [--allow-generic] | --rows\n";
        return 2;
    }
    for (const std::string& argument : ExtractorArguments(argv[1], std::atoi(argv[2]), allowGeneric))
        std::cout << argument << '\n';
    return 0;
}
