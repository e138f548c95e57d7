#include "document/ListView.h"

#include <cstdio>

#include "analysis/Encoding.h"

namespace tavi {

const std::string& StatusText(EssayStatus status) {
    static const std::string texts[] = {Sjis("未採点"), Sjis("読み込み中"), Sjis("形態素解析中"), Sjis("採点中"),
                                        Sjis("済")};
    static const std::string unknown;
    return status >= kStatusUnscored && status <= kStatusScored ? texts[status] : unknown;
}

void ShowScoreCells(ListView& view, int index, const EssayRecord& r, bool withContent) {
    view.ShowRhetoricScore(index, r.rhetoricScore);
    view.ShowOrganizationScore(index, r.organizationScore);
    if (withContent) {
        view.ShowContentScore(index, r.contentScore);
        view.ShowLengthPenalty(index, r.lengthPenalty);
        view.ShowTotalScore(index, r.finalScore);
    }
}

std::string ScoreCellText(double value) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%0.2f", value);
    return buffer;
}

std::string FormatCsvLine(const std::string (&cells)[ListView::kColumns]) {
    std::string line;
    for (const std::string& cell : cells) {
        if (cell.find_first_of(",\"\r\n") == std::string::npos) {
            line += cell;
        } else {
            line += '"';
            for (char c : cell) {
                if (c == '"') line += '"';
                line += c;
            }
            line += '"';
        }
        line += ',';
    }
    line += '\n';
    return line;
}

}  // namespace tavi
