#include "app/replay_tool.h"

#include <iostream>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    return ostrel::RunReplay({ argv + 1, argv + argc }, std::cin, std::cout, std::cerr);
}
