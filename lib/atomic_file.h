// Whole-file writes that never leave a half-written file behind.
#pragma once

#include <string>

// Writes text to a temporary file in the folder of path and renames it to
// path once every byte is written and flushed, so that path holds either
// its previous content or the whole text. On failure the temporary file is
// removed and false is returned with the reason in problem.
bool write_file_atomically(const std::string &path, const std::string &text, std::string &problem);
