// Entry point of the qorvantel interpreter.
#include "driver/driver.h"

#include <iostream>

int main(int argc, char** argv)
{
    std::ios_base::sync_with_stdio(false);
    return qorvantel::run_command_line(argc, argv, std::cin, std::cout, qorvantel::batch_ending::process_exits);
}
