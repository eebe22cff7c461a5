// Line editing for the host console, on the distribution's libedit. The library reads
// each key through ReadKey below, so that a Ctrl-C ends the line being edited as well as
// the console; libedit's own signal handling stays off.
#include "host/engine/HostLineEditor.h"

#include <ctype.h>
#include <errno.h>
#include <histedit.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <wchar.h>

#include <algorithm>

namespace {

volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_resized = 0;

void OnInterrupt(int) { g_interrupted = 1; }
void OnResize(int) { g_resized = 1; }

const char* Prompt(EditLine*) { return "] "; }

// One key for libedit: waits in poll (which a signal always interrupts) and reads one
// character, decoding a multibyte one byte by byte. Returns 1 with the character, 0 at
// the end of the input, -1 after Ctrl-C or a read error.
int ReadKey(EditLine* editor, wchar_t* key) {
    mbstate_t state = {};
    while (true) {
        if (g_interrupted) return -1;
        if (g_resized) {
            g_resized = 0;
            el_resize(editor);
        }
        pollfd input = {STDIN_FILENO, POLLIN, 0};
        if (poll(&input, 1, -1) < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        char byte;
        const ssize_t n = read(STDIN_FILENO, &byte, 1);
        if (n == 0) return 0;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return -1;
        }
        const size_t decoded = mbrtowc(key, &byte, 1, &state);
        if (decoded == static_cast<size_t>(-2)) continue;  // more bytes of this character
        if (decoded == static_cast<size_t>(-1)) {
            *key = static_cast<unsigned char>(byte);
            state = mbstate_t{};
        }
        return 1;
    }
}

bool StartsWithIgnoringCase(const std::string& name, const std::string& start) {
    return name.size() >= start.size() && strncasecmp(name.c_str(), start.c_str(), start.size()) == 0;
}

bool IsBlank(const std::string& text) { return text.find_first_not_of(" \t\r\n") == std::string::npos; }

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// libedit keeps the name and help of a function added with EL_ADDFN until the process
// ends (el_end does not free them): not a leak of ours, and not one that grows. It copies
// them with wcsdup, which nothing of ours calls; the x86-64 unwinder does not get past
// libc's frame into libedit's, so the copy is named by that function too.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libedit.so\nleak:wcsdup\n";
}
#endif

HostCompletion HostCompleteWord(const std::vector<std::string>& names, const std::string& beforeCursor) {
    HostCompletion result;
    // The command being typed: after the last ";" (as the console splits a line).
    const size_t semicolon = beforeCursor.rfind(';');
    std::string command = semicolon == std::string::npos ? beforeCursor : beforeCursor.substr(semicolon + 1);
    command.erase(0, command.find_first_not_of(" \t"));
    const size_t space = command.find_first_of(" \t");
    if (space == std::string::npos) {
        result.word = command;
    } else {
        const size_t second = command.find_first_not_of(" \t", space);
        result.word = second == std::string::npos ? std::string() : command.substr(second);
        if (strcasecmp(command.substr(0, space).c_str(), "help") != 0 ||
            result.word.find_first_of(" \t") != std::string::npos) {
            result.word.clear();
            return result;
        }
    }
    for (const std::string& name : names) {
        if (StartsWithIgnoringCase(name, result.word)) result.candidates.push_back(name);
    }
    if (result.candidates.empty()) return result;
    if (result.candidates.size() == 1) {
        result.replacement = result.candidates[0] + " ";
        return result;
    }
    size_t common = result.candidates[0].size();
    for (const std::string& name : result.candidates) {
        size_t i = 0;
        while (i < common && i < name.size() &&
               tolower(static_cast<unsigned char>(name[i])) ==
                   tolower(static_cast<unsigned char>(result.candidates[0][i])))
            ++i;
        common = i;
    }
    result.replacement = result.candidates[0].substr(0, common);
    return result;
}

std::string HostHistoryPath(const std::string& gameDir) {
    const char* home = getenv("HOME");
    return (home && *home ? std::string(home) : gameDir) + "/.vlhost_history";
}

CHostLineEditor::~CHostLineEditor() {
    if (editor_) el_end(editor_);
    if (history_) history_end(history_);
}

bool CHostLineEditor::Open(const std::string& historyPath, std::function<std::vector<std::string>()> names) {
    historyPath_ = historyPath;
    names_ = std::move(names);
    editor_ = el_init("vlhost", stdin, stdout, stderr);
    history_ = history_init();
    if (!editor_ || !history_) return false;
    HistEvent event;
    history(history_, &event, H_SETSIZE, kHistorySize);
    history(history_, &event, H_SETUNIQUE, 1);  // a line repeated at once is kept once
    history(history_, &event, H_LOAD, historyPath_.c_str());
    el_set(editor_, EL_EDITOR, "emacs");
    el_set(editor_, EL_PROMPT, Prompt);
    el_set(editor_, EL_HIST, history, history_);
    el_set(editor_, EL_CLIENTDATA, this);
    el_set(editor_, EL_GETCFN, ReadKey);
    el_set(editor_, EL_ADDFN, "vlhost-complete", "complete a console name", Complete);
    el_set(editor_, EL_BIND, "^I", "vlhost-complete", nullptr);
    el_source(editor_, nullptr);  // the user's own ~/.editrc, when there is one

    // Interrupted calls restart, but poll never does, so a Ctrl-C wakes the wait in
    // ReadKey. Reset once caught: a second Ctrl-C, while the plugin unloads, ends the
    // process.
    struct sigaction action = {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    action.sa_handler = OnResize;
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, nullptr);
    return true;
}

bool CHostLineEditor::ReadLine(std::string* line) {
    int count = 0;
    const char* text = g_interrupted ? nullptr : el_gets(editor_, &count);
    if (!text) {
        // Ctrl-C or Ctrl-D leaves the cursor after the prompt: what follows (the plugin's
        // unload messages) starts on a line of its own.
        fputs("\n", stdout);
        fflush(stdout);
        return false;
    }
    line->assign(text, count);
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
    if (!IsBlank(*line)) {
        HistEvent event;
        history(history_, &event, H_ENTER, line->c_str());
        history(history_, &event, H_SAVE, historyPath_.c_str());
    }
    return true;
}

// Tab: replaces the partial word by its completion, or lists the names that fit below
// the line when it cannot be completed further.
unsigned char CHostLineEditor::Complete(EditLine* editor, int) {
    CHostLineEditor* self = nullptr;
    el_get(editor, EL_CLIENTDATA, &self);
    const LineInfo* info = el_line(editor);
    const HostCompletion completion =
        HostCompleteWord(self->names_(), std::string(info->buffer, info->cursor - info->buffer));
    if (completion.candidates.empty()) return CC_REFRESH_BEEP;
    if (completion.replacement.size() > completion.word.size() || completion.candidates.size() == 1) {
        el_deletestr(editor, static_cast<int>(completion.word.size()));
        el_insertstr(editor, completion.replacement.c_str());
        return CC_REFRESH;
    }
    winsize window = {};
    const size_t width = ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0 && window.ws_col ? window.ws_col : 80;
    size_t longest = 0;
    for (const std::string& name : completion.candidates) longest = std::max(longest, name.size());
    const size_t columns = std::max<size_t>(1, width / (longest + 2));
    fputs("\n", stdout);
    for (size_t i = 0; i < completion.candidates.size(); ++i) {
        const bool last = (i + 1) % columns == 0 || i + 1 == completion.candidates.size();
        printf("%-*s%s", static_cast<int>(last ? 0 : longest + 2), completion.candidates[i].c_str(), last ? "\n" : "");
    }
    fflush(stdout);
    return CC_REDISPLAY;
}
