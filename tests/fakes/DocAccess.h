#pragma once

#include "document/CTaviDoc.h"

namespace tavi {

// The document's run flags, for tests that stage a run or check how one ended.
struct DocAccess {
    static std::atomic<bool>& Running(CTaviDoc& doc) { return doc.m_bRunning; }
    static std::atomic<bool>& StopRequested(CTaviDoc& doc) { return doc.m_bStopRequested; }
    static std::atomic<bool>& NoQuestionAccepted(CTaviDoc& doc) { return doc.m_bNoQuestionAccepted; }
};

}  // namespace tavi
