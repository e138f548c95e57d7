#include "ui/DocumentCommands.h"

#include "document/CTaviDoc.h"
#include "ui/Resources.h"

namespace tavi {

DocumentCommands::DocumentCommands(CTaviDoc& doc) {
    OnCommand(cmd::kQuestionSettings, [&doc] { doc.OnQuestionSettings(); });
    OnCommand(cmd::kAddAnswers, [&doc] { doc.OnAddAnswers(); });
    OnCommand(cmd::kImportSheet, [&doc] { doc.OnImportSheet(); });
    OnCommand(cmd::kSaveResults, [&doc] { doc.OnSaveResults(); });
    OnCommand(cmd::kScoreStart, [&doc] { doc.OnScoreStart(); });
    OnCommand(cmd::kScoreStop, [&doc] { doc.OnScoreStop(); });
    OnCommand(cmd::kParamDetail, [&doc] { doc.OnParamDetail(); });
    OnUpdateEnabled(cmd::kSaveResults, [&doc] { return doc.OnUpdateSaveResults(); });
    OnUpdateEnabled(cmd::kScoreStart, [&doc] { return doc.OnUpdateScoreStart(); });
    OnUpdateEnabled(cmd::kScoreStop, [&doc] { return doc.OnUpdateScoreStop(); });
    OnUpdateEnabled(cmd::kScoreSelected, [&doc] { return doc.OnUpdateScoreSelected(); });
    OnUpdateEnabled(cmd::kDeleteSelected, [&doc] { return doc.OnUpdateDeleteSelected(); });
}

}  // namespace tavi
