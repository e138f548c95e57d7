#include "fakes/FakePerson.h"

#include "analysis/Encoding.h"

namespace tavi::test {

std::vector<std::string> FakePerson::BoxTexts() const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> texts;
    for (const MessageBoxRequest& b : boxes) texts.push_back(SjisToUtf8(b.text));
    return texts;
}

void RecordingListView::ShowStatus(int index, EssayStatus status) {
    {
        std::lock_guard lock(m_logMutex);
        m_events.push_back("status " + std::to_string(index) + " " + std::to_string(status));
    }
    MemoryListView::ShowStatus(index, status);
    if (onStatus) onStatus(index, status);
}

void RecordingListView::Log(const char* kind, int index, double) {
    std::lock_guard lock(m_logMutex);
    m_events.push_back(std::string(kind) + " " + std::to_string(index));
}

std::vector<std::string> RecordingListView::Events() const {
    std::lock_guard lock(m_logMutex);
    return m_events;
}

void RecordingListView::ClearEvents() {
    std::lock_guard lock(m_logMutex);
    m_events.clear();
}

}  // namespace tavi::test
