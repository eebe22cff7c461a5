// Captures the runtime library's console text for the lifetime of the object, so tests
// can check exact output. Captures nest: the innermost one receives the text.
#pragma once

#include <string>
#include <vector>

class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    const std::string& Text() const { return text_; }
    // The text as it arrived, one entry per call of the runtime's output (one Msg).
    const std::vector<std::string>& Pieces() const { return pieces_; }
    // The text split at '\n'; a final line without '\n' is included.
    std::vector<std::string> Lines() const;
    void Clear() {
        text_.clear();
        pieces_.clear();
    }

private:
    static void Receive(const char* text, void* context);
    std::string text_;
    std::vector<std::string> pieces_;
    ConsoleCapture* outer_;
};
