// Many inputs in one zelhost render: every -i (a folder gives its video files) rendered with the
// same plan, each output named from its input by the -o pattern. A file that fails is named in one
// line and the others go on; a summary closes the batch.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "RenderOptions.h"

namespace zelhost {

/// True when `output` names each output from its input: it holds {name} or {ext}, or it is a
/// folder ending in "/".
bool IsOutputPattern(const std::string& output);

/// The output of `input` under `pattern`: {name} is the input's file name without its extension,
/// {ext} the extension (without the dot); a folder ending in "/" keeps the whole file name.
std::string OutputFor(const std::string& pattern, const std::string& input);

/// True when the plan renders a batch: more than one -i, a folder, or an output pattern.
bool IsBatch(const RenderPlan& plan);

/// One file of a batch: its own plan, or why it cannot be rendered.
struct BatchFile {
  std::string input;
  std::string output;
  std::optional<RenderPlan> plan;  ///< empty when `error` says why not
  std::string error;
};

/// The files of a batch in order: each -i as given, each folder's video files sorted by name.
/// Throws UsageError for what fails every file (a folder without a video, many inputs and an
/// output that is no pattern); a file's own problem goes into its BatchFile.
std::vector<BatchFile> ExpandBatch(const RenderPlan& plan);

/// What one render did: its exit code (0, or 3 for an output cut short by damage) and its frames.
struct FileOutcome {
  int exitCode = 0;
  std::int64_t frames = 0;
};

/// Renders every file of the batch with `render`, which throws for a file that fails; Interrupted
/// stops the batch and goes on to the caller. Returns 0 when every file was rendered whole, 3 when
/// some were, 1 when none was.
int RunBatch(const RenderPlan& plan, const std::function<FileOutcome(const RenderPlan&)>& render);

}  // namespace zelhost
