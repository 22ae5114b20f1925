// One writer of the multi-process log test: writes its entries into the "log" folder
// of the current folder, then ends with 0.
#include <cstdlib>
#include <filesystem>

#include "support/Log.h"
#include "tests/support/LogWriterEntries.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const int process = std::atoi(argv[1]);
    talvo::Log log(std::filesystem::current_path(), [] { return talvo::logwriter::kNow; });
    for (int i = 0; i < talvo::logwriter::kEntries; ++i)
        log.ShowMesssage(talvo::logwriter::entry(process, i));
    return 0;
}
