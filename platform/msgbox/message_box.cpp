#include "platform/msgbox/message_box.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "platform/engine/vn_trace_mgr.h"

namespace plashwerk {
namespace {

std::mutex g_sink_mutex;
MessageBoxSink g_sink;

void consoleSink(MessageBoxKind kind, const char* caption, const char* text) {
    std::FILE* out = kind == MessageBoxKind::Information ? stdout : stderr;
    std::fprintf(out, "%s: %s\n", caption, text);
    std::fflush(out);
}

void show(MessageBoxKind kind, const char* format, va_list args) {
    char text[kMessageBoxBytes];
    std::vsnprintf(text, sizeof text, format, args);

    static constexpr int kTraceLevel[] = {Vantorr_nsp::VN_TRACE_ERROR, Vantorr_nsp::VN_TRACE_INFO,
                                          Vantorr_nsp::VN_TRACE_WARNING};
    Vantorr_nsp::logTrace(kTraceLevel[static_cast<int>(kind)], "%s", text);

    MessageBoxSink sink;
    {
        std::lock_guard lock(g_sink_mutex);
        sink = g_sink;
    }
    if (sink)
        sink(kind, kMessageBoxCaption, text);
    else
        consoleSink(kind, kMessageBoxCaption, text);
}

}  // namespace

MessageBoxSink setMessageBoxSink(MessageBoxSink sink) {
    std::lock_guard lock(g_sink_mutex);
    MessageBoxSink previous = std::move(g_sink);
    g_sink = std::move(sink);
    return previous;
}

#define PLASHWERK_BOX(name, kind)        \
    void name(const char* format, ...) { \
        va_list args;                    \
        va_start(args, format);          \
        show(kind, format, args);        \
        va_end(args);                    \
    }

PLASHWERK_BOX(showErrorBox, MessageBoxKind::Error)
PLASHWERK_BOX(showInformationBox, MessageBoxKind::Information)
PLASHWERK_BOX(showWarningBox, MessageBoxKind::Warning)

}  // namespace plashwerk
