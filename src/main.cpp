// The tool takes no arguments; any that are given are ignored.
#include "console.h"
#include "run.h"

int main() {
    prepare_process();
    end_run(run_conversion());
}
