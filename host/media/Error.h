#pragma once
// The one exception type of the media layer.

#include <stdexcept>
#include <string>

namespace zel::media {

/// Raised by every media operation that fails. The message says what failed and where: the file
/// name and, when FFmpeg reported it, FFmpeg's own error text, so that a front end can print it
/// as one line without adding context of its own.
class Error : public std::runtime_error {
public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

/// The pictures asked for cannot be written in the output's format at their size (a subsampled
/// format needs whole chroma lines): raised before anything is written, and a front end may read
/// it as a command line that cannot work.
class SizeError : public Error {
public:
  using Error::Error;
};

}  // namespace zel::media

namespace zel::media {

/// FFmpeg's own log is silent by default (its error text reaches the caller inside Error). With
/// `on`, every message of warning level or worse is printed to standard error as FFmpeg words it.
void setLibraryLogging(bool on);

}  // namespace zel::media
