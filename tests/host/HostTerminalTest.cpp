// The host console as a person uses it in a terminal: vlhost runs on a pseudo-terminal
// and is sent keys (Tab, Up, Ctrl-C, Ctrl-D); what it prints is read back from there.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "gtest/gtest.h"
#include "host/engine/HostLineEditor.h"

namespace {

TEST(HostCompleteWordTest, CompletesTheFirstWordAndTheNameAfterHelp) {
    const std::vector<std::string> names = {"help", "host_frames", "vl_sigscan", "vl_sigscan_reload", "vl_spawn"};
    EXPECT_EQ(HostCompleteWord(names, "vl_sp").replacement, "vl_spawn ");
    EXPECT_EQ(HostCompleteWord(names, "host_frames 2;  VL_SP").replacement, "vl_spawn ");
    EXPECT_EQ(HostCompleteWord(names, "help  host_f").replacement, "host_frames ");
    // Several fits: completed to what they share, in the names' letter case, and listed.
    const HostCompletion shared = HostCompleteWord(names, "VL_SIG");
    EXPECT_EQ(shared.word, "VL_SIG");
    EXPECT_EQ(shared.replacement, "vl_sigscan");
    EXPECT_EQ(shared.candidates, (std::vector<std::string>{"vl_sigscan", "vl_sigscan_reload"}));
    EXPECT_EQ(HostCompleteWord(names, "").candidates, names);
    // Only the first word, or the one after "help", is a name.
    EXPECT_TRUE(HostCompleteWord(names, "vl_spawn vl_s").candidates.empty());
    EXPECT_TRUE(HostCompleteWord(names, "help vl_spawn vl_s").candidates.empty());
    EXPECT_TRUE(HostCompleteWord(names, "nothing").candidates.empty());
}

// vlhost on the demo game directory, started on a pseudo-terminal with HOME set.
class TerminalHost {
public:
    explicit TerminalHost(const std::string& home) {
        winsize window = {};
        window.ws_row = 40;
        window.ws_col = 120;
        pid_ = forkpty(&master_, nullptr, nullptr, &window);
        if (pid_ == 0) {
            setenv("HOME", home.c_str(), 1);
            setenv("TERM", "xterm", 1);
            execl(VL_BIN_DIR "/vlhost", "vlhost", "--game", VL_GAME_DIR, static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~TerminalHost() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
    }
    bool Started() const { return pid_ > 0; }

    // Waits for the prompt and for the editor to take the terminal out of its line mode
    // (keys typed before that are read by the terminal's own line discipline), then types
    // `keys`; false when that does not happen within 30 seconds.
    bool TypeAtPrompt(const std::string& keys) {
        if (!WaitFor("] ")) return false;
        const time_t deadline = time(nullptr) + 30;
        termios mode;
        while (tcgetattr(master_, &mode) == 0 && (mode.c_lflag & ICANON)) {
            if (time(nullptr) > deadline) return false;
            usleep(1000);
        }
        return Type(keys);
    }
    bool Type(const std::string& keys) { return write(master_, keys.data(), keys.size()) == ssize_t(keys.size()); }

    // Reads until `text` appears after what earlier calls consumed (then consumes up to
    // its end); false after 30 seconds or when the terminal closes first.
    bool WaitFor(const std::string& text) {
        const time_t deadline = time(nullptr) + 30;
        while (output_.find(text, consumed_) == std::string::npos) {
            if (time(nullptr) > deadline || !ReadSome()) return false;
        }
        consumed_ = output_.find(text, consumed_) + text.size();
        return true;
    }

    // The exit status, or -1 when the process did not exit by itself within 30 seconds.
    int ExitStatus() {
        const time_t deadline = time(nullptr) + 30;
        int status = 0;
        pid_t done;
        while ((done = waitpid(pid_, &status, WNOHANG)) == 0 && time(nullptr) <= deadline) {
            if (!ReadSome()) usleep(10000);  // reading on keeps the process from blocking
        }
        if (done != pid_) return -1;
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::string& Output() const { return output_; }

private:
    // Waits up to a second for output and appends it; false once the terminal is closed
    // (every process left it).
    bool ReadSome() {
        pollfd fd = {master_, POLLIN, 0};
        if (poll(&fd, 1, 1000) <= 0) return true;
        char chunk[4096];
        const ssize_t n = read(master_, chunk, sizeof(chunk));
        if (n <= 0) return false;
        output_.append(chunk, n);
        return true;
    }

    pid_t pid_ = -1;
    int master_ = -1;
    bool reaped_ = false;
    std::string output_;
    size_t consumed_ = 0;
};

class HostTerminalTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vlhost-home-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        home_ = pattern;
    }
    void TearDown() override {
        unlink((home_ + "/.vlhost_history").c_str());
        rmdir(home_.c_str());
    }
    std::string home_;
};

TEST_F(HostTerminalTest, CompletesRecallsAndQuitsOnCtrlCOrCtrlD) {
    {
        TerminalHost host(home_);
        ASSERT_TRUE(host.Started());
        ASSERT_TRUE(host.WaitFor("Plugin Loaded")) << host.Output();
        // Tab completes the plugin's command, and a host command's name after "help".
        ASSERT_TRUE(host.TypeAtPrompt("vl_spa\t\r")) << host.Output();
        EXPECT_TRUE(host.WaitFor("Syntax: vl_spawn <userid>")) << host.Output();
        ASSERT_TRUE(host.TypeAtPrompt("help host_fr\t\r")) << host.Output();
        EXPECT_TRUE(host.WaitFor("host command \"host_frames\"")) << host.Output();
        // An empty line is not recalled: Up brings back the line before it.
        ASSERT_TRUE(host.TypeAtPrompt("\r")) << host.Output();
        ASSERT_TRUE(host.TypeAtPrompt("\x1b[A\r")) << host.Output();
        EXPECT_TRUE(host.WaitFor("host command \"host_frames\"")) << host.Output();
        // Completion follows the registry: the plugin's names go with it.
        ASSERT_TRUE(host.TypeAtPrompt("host_plugin_unload\r")) << host.Output();
        ASSERT_TRUE(host.WaitFor("host: unloaded plugin")) << host.Output();
        ASSERT_TRUE(host.TypeAtPrompt("vl_spa\t\r")) << host.Output();
        EXPECT_TRUE(host.WaitFor("Unknown command \"vl_spa\"")) << host.Output();
        ASSERT_TRUE(host.TypeAtPrompt("host_plugin_load\r")) << host.Output();
        ASSERT_TRUE(host.WaitFor("host: loaded plugin")) << host.Output();
        // Ctrl-C in the middle of a line unloads the plugin and exits with status 0.
        ASSERT_TRUE(host.TypeAtPrompt("host_pla")) << host.Output();
        ASSERT_TRUE(host.WaitFor("host_pla")) << host.Output();  // a Ctrl-C drops keys not yet read
        ASSERT_TRUE(host.Type("\x03"));
        EXPECT_TRUE(host.WaitFor("\r\nPlugin UnLoaded\r\n")) << host.Output();
        EXPECT_EQ(host.ExitStatus(), 0) << host.Output();
    }
    {
        // The next run recalls the last run's lines; Ctrl-D on an empty line quits.
        TerminalHost host(home_);
        ASSERT_TRUE(host.TypeAtPrompt("\x1b[A\r")) << host.Output();
        EXPECT_TRUE(host.WaitFor("host: a plugin is already loaded")) << host.Output();
        ASSERT_TRUE(host.TypeAtPrompt("\x04")) << host.Output();
        EXPECT_TRUE(host.WaitFor("Plugin UnLoaded")) << host.Output();
        EXPECT_EQ(host.ExitStatus(), 0) << host.Output();
    }
}

}  // namespace
