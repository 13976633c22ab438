// The tool takes no arguments; any that are given are ignored.
#include "console.h"
#include "run.h"

int main() {
    prepare_standard_streams();
    end_run(run_conversion());
}
