// The host console as a person types at it in a terminal: line editing, a history kept
// across runs, completion of console names, and Ctrl-C or Ctrl-D on an empty line ending
// the console as "quit" does. Used only when standard input and output are both a
// terminal; piped input and scripts never come here.
#pragma once

#include <functional>
#include <string>
#include <vector>

// What Tab does to the text before the cursor: `word` is the partial word it completes
// (the start of a line, or of a command after ";", or the name after "help"),
// `replacement` what replaces it (empty when nothing does), and `candidates` every name
// that fits, in the order given, listed when they share no more than `word`.
struct HostCompletion {
    std::string word;
    std::string replacement;
    std::vector<std::string> candidates;
};

// Completes the first word of a command, or the second when the first is "help", from
// `names` (matched ignoring case; the replacement takes the names' letter case). A
// single fit is completed with a space after it; several fits are completed to their
// longest common start. Any other position completes nothing.
HostCompletion HostCompleteWord(const std::vector<std::string>& names, const std::string& beforeCursor);

// The history file: ".vlhost_history" in $HOME, or in the game directory when there is no
// home.
std::string HostHistoryPath(const std::string& gameDir);

class CHostLineEditor {
public:
    static const int kHistorySize = 500;

    ~CHostLineEditor();

    // Starts editing on standard input and output: loads the history from `historyPath`
    // (a missing file is an empty history), and asks `names` for the console's names at
    // each Tab. Ctrl-C from now on ends the console (ReadLine returns false); a second
    // Ctrl-C ends the process at once. False when the terminal cannot be edited.
    bool Open(const std::string& historyPath, std::function<std::vector<std::string>()> names);
    // Shows the prompt "] " and reads one line without its line feed. A line that is not
    // blank joins the history, which is saved at once (at most kHistorySize lines). False
    // at Ctrl-D on an empty line, at Ctrl-C (now or since the last call) and at the end
    // of the input; the terminal is then back on a fresh line in its own mode.
    bool ReadLine(std::string* line);

private:
    static unsigned char Complete(struct editline* editor, int key);

    struct editline* editor_ = nullptr;
    struct history* history_ = nullptr;
    std::string historyPath_;
    std::function<std::vector<std::string>()> names_;
};
