#pragma once

// Saved jobs on the command line: `--job FILE` gives `run` and `capture` the job's settings,
// over which the options given win; `--resume` goes on from the job's progress; `job save`
// writes a job from the options `run` takes.

#include <expected>
#include <string>
#include <vector>

#include "capture/job/job.h"
#include "cli_options.h"

namespace tabvoro::cli {

// The options of a command that may take a job: the job's values, then the command line's.
struct JobCommandOptions {
    RunCommandOptions options;
    std::string jobFile;    // --job; empty: none
    bool resume = false;    // --resume
    capture::Job job;       // the job read, or the start-up values without one
};

// Reads `--job FILE` first (a job that cannot be read is the error), then every option over it.
// `withRun`: the options of `run` are taken too. Pages are not required here.
std::expected<JobCommandOptions, std::string> parseJobCommand(const std::vector<std::string> &args, bool withRun);

// The job the options describe: the settings, paging and output of the options over `base`,
// the address the first URL given (else the base's), the URL list `urlList` when it holds rows.
capture::Job jobFromOptions(const RunCommandOptions &options, const capture::Job &base,
                            const std::vector<std::string> &urlList);

// `tabvoro-cli job save FILE [options] URL`.
int runJobCommand(const std::vector<std::string> &args);

extern const char *const kJobUsage;

}  // namespace tabvoro::cli
