// Files a run writes: each under a temporary name in its own folder, given its name only when
// complete, so that a failed or interrupted run leaves nothing half-written at a user's path.
#pragma once

#include <string>
#include <vector>

namespace camtag::front {

class PendingOutput {
public:
    PendingOutput() = default;
    ~PendingOutput() { Discard(); }
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // Reserves a temporary name beside `path` (a folder of frames with `folder`), making the
    // folders on the way. False with `error`.
    bool Begin(const std::string& path, bool folder, std::string* error);
    const std::string& temporary() const { return temporary_; }
    // Gives the output its name: an existing one only with `replace` (a folder of frames then
    // loses its earlier frames). False with `error`, the temporary output still pending.
    bool Commit(bool replace, std::string* error);
    // Removes the temporary output (also when this object ends).
    void Discard();

    static bool MakeFolders(const std::string& folder, std::string* error);

private:
    std::string path_;
    std::string temporary_;
    bool folder_ = false;
};

// A whole file, "" when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes a whole file through a PendingOutput.
bool WriteOutput(const std::string& path, const std::string& text, bool replace,
                 std::string* error);
// Lines or fields of a text.
std::vector<std::string> Split(const std::string& text, char separator);

} // namespace camtag::front
