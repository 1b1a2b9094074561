#include "app/send_tool.h"

#include <iostream>

int main(int argc, char** argv)
{
    return ostrel::RunSend({ argv + 1, argv + argc }, std::cin, std::cout, std::cerr);
}
