#include "run.h"

#include <cstdio>
#include <cstdlib>

#include "console.h"
#include "file_image.h"
#include "report_lines.h"
#include "transfer.h"

namespace {

// Loads one input or stops the run with the line the loader handed back.
FileImage load_or_stop(const char* file_name) {
    FileImage image;
    const Status status = load_file_image(file_name, image, stdout);
    if (!status.ok()) stop_run(status.failure_line());
    return image;
}

}  // namespace

int run_conversion() {
    FileImage source = load_or_stop(kSourceFileName);
    FileImage templ = load_or_stop(kTemplateFileName);

    // The output is opened only after this, so a refusal leaves an earlier output alone.
    switch (transfer_records(source.view(), templ.view())) {
        case ImageFit::source_too_short:
            stop_run(Status::failure(report_line::kTooShort, kSourceFileName).failure_line());
        case ImageFit::template_too_short:
            stop_run(Status::failure(report_line::kTooShort, kTemplateFileName).failure_line());
        case ImageFit::fits:
            break;
    }

    // Whatever file the output's name leads to, it may be neither input, nor the
    // file the report goes to, where the report would land on the converted data.
    const FileIdentity kept[] = {source.origin, templ.origin, identify_file(stdout)};
    const Status saved = save_file_image(kOutputFileName, templ, kept, stdout);
    if (!saved.ok()) stop_run(saved.failure_line());

    source = FileImage{};
    templ = FileImage{};
    wait_for_key();
    return kExitComplete;
}

void stop_run(const char* line) {
    std::fputs(line, stdout);
    wait_for_key();
    end_run(kExitStopped);
}

void end_run(int status) {
    // exit() would flush too, but could not say that the report was lost.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fputs("tarvul2semrod: the report could not be written to standard output\n", stderr);
    }
    std::exit(status);
}
