#include "support/ConsoleCapture.h"

#include "host/tier0/HostTier0.h"

static ConsoleCapture* s_current = nullptr;

ConsoleCapture::ConsoleCapture() : outer_(s_current) {
    s_current = this;
    HostTier0_SetOutputHook(&ConsoleCapture::Receive, this);
}

ConsoleCapture::~ConsoleCapture() {
    s_current = outer_;
    HostTier0_SetOutputHook(outer_ ? &ConsoleCapture::Receive : nullptr, outer_);
}

void ConsoleCapture::Receive(const char* text, void* context) {
    ConsoleCapture* capture = static_cast<ConsoleCapture*>(context);
    capture->text_ += text;
    capture->pieces_.push_back(text);
}

std::vector<std::string> ConsoleCapture::Lines() const {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text_.size()) {
        size_t end = text_.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text_.substr(start));
            break;
        }
        lines.push_back(text_.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}
