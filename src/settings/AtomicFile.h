#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace viren {

// Replaces `path` with `content` so that a crash at any moment leaves either
// the old file or the new one, never a mixture: the text goes to a temporary
// file beside it, is flushed to disk, and is renamed over the old one.
// `beforeRename` runs between the two steps (tests use it to die there).
// Returns false (and leaves the old file) when any step fails; errno then
// tells why.
bool WriteFileAtomically(const std::string& path, std::string_view content,
                         const std::function<void()>& beforeRename = {});

// Whole file as bytes; false if it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& out);

}  // namespace viren
