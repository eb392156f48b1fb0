#pragma once
// Keeps a library's debug lines off the terminal while a command runs.

namespace hu {

// While it lives (and unless `keep`), this process's standard error goes to /dev/null: the
// MCU library and the Bluetooth engine write every debug line there, and the command keeps
// them in its log instead. restore() gives the terminal back early, for the command's own
// error lines; the destructor does it on every other way out.
class QuietStderr {
public:
    explicit QuietStderr(bool keep);
    ~QuietStderr();
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

    void restore();

private:
    int saved_ = -1;
};

}  // namespace hu
