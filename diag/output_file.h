#pragma once

#include <string>

// Writes `content` as the whole new content of the file `path`, byte for byte. The bytes go to
// a temporary file beside it first, which replaces the old file only when it was written and
// closed completely: a failed write never destroys the previous file. A symbolic link of the
// running user or root is replaced at its target (the link stays); a link of another user is
// not followed: nothing is written, the log (when there is one) names the link and its owner,
// and so does `refusal` when given. The new file keeps the old one's permission bits. True on
// success.
bool writeOutputFile(const std::string& path, const std::string& content,
                     std::string* refusal = nullptr);

// The file a job may write for `path`: `path` with the links at its end followed
// (platform::resolveOwnLinks). False for a link of another user, after noting it in the log
// (when there is one) and in `refusal`.
bool outputTarget(const std::string& path, std::string& target, std::string& refusal);

// Removes the temporary files "<name>.<digits>.tmp~" (platform::createTemporaryFile) from
// `directory` (ending with the path separator): left there by a job that was killed while it wrote.
// Call only while holding the directory's lock, when no other job can be writing there.
void removeStaleTemporaryFiles(const std::string& directory);
