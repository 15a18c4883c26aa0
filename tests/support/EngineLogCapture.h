#pragma once
// The one capture of the engines' log output for tests: while it lives,
// every line the engines write lands here instead of on stdout or stderr.

#include "engine/common/engine_log.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class EngineLogCapture
{
public:
    EngineLogCapture() { quorlix_log_set_sink(&EngineLogCapture::sink, this); }
    ~EngineLogCapture() { quorlix_log_set_sink(nullptr, nullptr); }
    EngineLogCapture(const EngineLogCapture &) = delete;
    EngineLogCapture &operator=(const EngineLogCapture &) = delete;

    // Every write in order, whatever its stream.
    std::vector<std::string> lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> all;
        for (const auto &entry : m_entries)
            all.push_back(entry.second);
        return all;
    }
    QStringList all() const { return collect(0); }
    QStringList out() const { return collect(1); }
    QStringList err() const { return collect(2); }

    // The writes of one stream (1 stdout, 2 stderr, 0 both) as one text.
    std::string text(int stream = 0) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string joined;
        for (const auto &entry : m_entries) {
            if (stream == 0 || entry.first == stream)
                joined += entry.second;
        }
        return joined;
    }
    std::string stdoutText() const { return text(1); }
    std::string stderrText() const { return text(2); }

    // Whether the engine wrote the needle to stdout (the lines it reports its
    // decisions on), or to either stream.
    bool logged(const std::string &needle) const { return stdoutText().find(needle) != std::string::npos; }
    bool contains(const std::string &needle) const { return text().find(needle) != std::string::npos; }
    int countLogged(const std::string &needle) const
    {
        const std::string all = stdoutText();
        int n = 0;
        for (size_t pos = all.find(needle); pos != std::string::npos; pos = all.find(needle, pos + 1))
            ++n;
        return n;
    }
    // Waits (bounded) until the engine has written the needle to stdout.
    bool waitLogged(const std::string &needle, int timeoutMs = 3000) const
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!logged(needle)) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.clear();
        m_bytes = 0;
    }

private:
    // A run that logs without end must not eat the test machine's memory.
    static constexpr size_t kMaxBytes = size_t(8) << 20;

    QStringList collect(int stream) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        QStringList list;
        for (const auto &entry : m_entries) {
            if (stream == 0 || entry.first == stream)
                list << QString::fromUtf8(entry.second.data(), int(entry.second.size()));
        }
        return list;
    }

    static void sink(int stream, const char *text, size_t len, void *ctx)
    {
        auto *self = static_cast<EngineLogCapture *>(ctx);
        std::lock_guard<std::mutex> lock(self->m_mutex);
        if (self->m_bytes + len > kMaxBytes)
            return;
        self->m_bytes += len;
        self->m_entries.emplace_back(stream, std::string(text, len));
    }

    mutable std::mutex m_mutex;
    std::vector<std::pair<int, std::string>> m_entries;
    size_t m_bytes = 0;
};
