#include "RenderBatch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>

#include "Commands.h"
#include "media/ProgressLine.h"
#include "text/Text.h"

namespace zelhost {

namespace fs = std::filesystem;
using zel::host::Quoted;

namespace {

/// What a folder given as -i contributes: its files with a video extension (the extension only
/// picks them; each is then read as any input is).
const std::set<std::string> kVideoExtensions = {"3gp", "avi", "dv",  "flv", "m2ts", "m4v", "mkv", "mov", "mp4", "mpeg",
                                                "mpg", "mts", "mxf", "nut", "ogv",  "ts",  "webm", "wmv", "y4m"};

std::string ExtensionOf(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) c = zel::host::AsciiLower(c);
  return text;
}

/// The video files of `folder`, sorted by name; hidden files are left out.
std::vector<std::string> VideosIn(const fs::path& folder) {
  std::vector<std::string> found;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.' || !entry.is_regular_file(ec)) continue;
    if (kVideoExtensions.count(Lower(ExtensionOf(name))) != 0) found.push_back(entry.path().string());
  }
  if (ec) throw UsageError("-i " + Quoted(folder.string()) + ": cannot read the folder: " + ec.message());
  std::sort(found.begin(), found.end());
  if (found.empty())
    throw UsageError("-i " + Quoted(folder.string()) + ": the folder holds no video file (.mp4, .mov, .mkv, .mxf ...)");
  return found;
}

std::string Elapsed(std::chrono::steady_clock::time_point since) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - since).count();
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
  return text;
}

}  // namespace

bool IsOutputPattern(const std::string& output) {
  return (!output.empty() && output.back() == '/') || output.find("{name}") != std::string::npos ||
         output.find("{ext}") != std::string::npos;
}

std::string OutputFor(const std::string& pattern, const std::string& input) {
  const std::string name = fs::path(input).filename().string();
  if (!pattern.empty() && pattern.back() == '/') return pattern + name;
  const std::string ext = ExtensionOf(name);
  const std::string stem = ext.empty() ? name : name.substr(0, name.size() - ext.size() - 1);
  std::string output;
  for (std::size_t i = 0; i < pattern.size();) {
    if (pattern.compare(i, 6, "{name}") == 0) {
      output += stem;
      i += 6;
    } else if (pattern.compare(i, 5, "{ext}") == 0) {
      output += ext;
      i += 5;
    } else {
      output += pattern[i++];
    }
  }
  return output;
}

bool IsBatch(const RenderPlan& plan) {
  if (plan.inputs.size() > 1 || IsOutputPattern(plan.output)) return true;
  std::error_code ec;
  return !plan.inputs.empty() && fs::is_directory(plan.inputs.front(), ec);
}

std::vector<BatchFile> ExpandBatch(const RenderPlan& plan) {
  std::vector<std::string> inputs;
  for (const std::string& input : plan.inputs) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
      const std::vector<std::string> videos = VideosIn(input);
      inputs.insert(inputs.end(), videos.begin(), videos.end());
    } else {
      inputs.push_back(input);
    }
  }
  if (inputs.empty()) throw UsageError("-o " + Quoted(plan.output) + ": a pattern names outputs after inputs; give -i");
  if (inputs.size() > 1 && !IsOutputPattern(plan.output))
    throw UsageError("-o " + Quoted(plan.output) + ": " + std::to_string(inputs.size()) +
                     " inputs need an output pattern with {name} (and {ext}), or a folder ending in /");

  std::vector<BatchFile> files;
  std::map<std::string, std::string> outputs;  // normalised output -> the input it is made from
  for (const std::string& input : inputs) {
    BatchFile file{input, IsOutputPattern(plan.output) ? OutputFor(plan.output, input) : plan.output, {}, {}};
    const std::string key = fs::absolute(file.output).lexically_normal().string();
    if (const auto taken = outputs.find(key); taken != outputs.end()) {
      file.error = Quoted(file.output) + " is the output of " + Quoted(taken->second) + " too";
    } else {
      outputs.emplace(key, input);
      try {
        file.plan = PlanOfFile(plan, input, file.output);
      } catch (const UsageError& e) {
        file.error = e.what();
      }
    }
    files.push_back(std::move(file));
  }
  return files;
}

int RunBatch(const RenderPlan& plan, const std::function<FileOutcome(const RenderPlan&)>& render) {
  const std::vector<BatchFile> files = ExpandBatch(plan);
  const auto start = std::chrono::steady_clock::now();
  const bool terminal = !plan.quiet && zel::media::ProgressLine::isTerminal(stderr);
  std::size_t whole = 0, cutShort = 0;
  std::int64_t frames = 0;
  std::vector<std::string> failed;
  const auto summary = [&] {
    std::string text = std::to_string(whole + cutShort) + " of " + std::to_string(files.size()) + " files rendered";
    if (cutShort > 0) text += " (" + std::to_string(cutShort) + " cut short by damage)";
    if (!failed.empty()) {
      text += ", " + std::to_string(failed.size()) + " failed (";
      for (std::size_t i = 0; i < failed.size(); ++i) text += (i > 0 ? ", " : "") + Quoted(failed[i]);
      text += ")";
    }
    // Said even with --quiet when a file failed: the user must learn which.
    if (!plan.quiet || !failed.empty() || cutShort > 0)
      std::cerr << "zelhost: batch: " << text << ", " << frames << " frames in " << Elapsed(start) << "\n";
  };
  for (std::size_t i = 0; i < files.size(); ++i) {
    const BatchFile& file = files[i];
    // The batch's own progress, above each file's progress line.
    if (terminal)
      std::cerr << "zelhost: file " << (i + 1) << " of " << files.size() << " (" << failed.size() << " failed, "
                << Elapsed(start) << "): " << Quoted(file.input) << " -> " << Quoted(file.output) << "\n";
    std::string error = file.error;
    if (file.plan) {
      try {
        const FileOutcome outcome = render(*file.plan);
        frames += outcome.frames;
        ++(outcome.exitCode == 0 ? whole : cutShort);
        continue;
      } catch (const Interrupted&) {
        summary();
        throw;
      } catch (const std::exception& e) {
        error = e.what();
      }
    }
    // One line that names the file, whether or not the message already does.
    PrintError(error.find(Quoted(file.input)) != std::string::npos ? error : Quoted(file.input) + ": " + error);
    failed.push_back(file.input);
  }
  summary();
  if (failed.empty() && cutShort == 0) return 0;
  return whole + cutShort > 0 ? 3 : kExitFailure;
}

}  // namespace zelhost
