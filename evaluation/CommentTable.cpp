#include "evaluation/CommentTable.h"

#include <map>
#include <tuple>
#include <utility>

#include "analysis/Encoding.h"

namespace tavi {
namespace {

struct CommentEntry {
    int index;
    int commentClass;
    const char* utf8;
};

// 46 texts. Class -1 says the feature cannot be judged; index 9 has four classes (1, 2 too
// many kanji, strong first; 3, 4 too few, mild first) and index 15 three. Pairs not listed
// (such as index 1 class -1 or any class 0) add nothing.
constexpr CommentEntry kComments[] = {
    {1, 1, "語彙の多様性がやや不足しています。"},
    {1, 2, "語彙の多様性が不足しています。"},
    {2, -1, "文がほとんど含まれていません。文の平均的な長さについては判定不能です。"},
    {2, 1, "文が総じて（平均的に）少し長いです。"},
    {2, 2, "文が総じて（平均的に）長いです。"},
    {3, -1, "文がほとんど含まれていません。文の最大の長さについては判定不能です。"},
    {3, 1, "少し長すぎる文があります。"},
    {3, 2, "長すぎる文があります。"},
    {4, -1, "句がほとんど含まれず、句の平均的な長さを判定できません。"},
    {4, 1, "句（読点と読点の間、あるいは読点と句点の間）が総じて（平均的に）やや長いように見受けられます。"},
    {4, 2, "句（読点と読点の間、あるいは読点と句点の間）が総じて（平均的に）長いように見受けられます。"},
    {5, -1, "句がほとんど含まれず、句の最大長を判定できません。"},
    {5, 1, "句（読点と読点の間、あるいは読点と句点の間）のやや長すぎる文があります。"},
    {5, 2, "句（読点と読点の間、あるいは読点と句点の間）の長すぎる文があります。"},
    {6, -1, "文節がほとんど含まれていません。文節の平均的な数については判定不能です。"},
    {6, 1, "句の中の文節の数が総じて（平均的に）やや多いです。"},
    {6, 2, "句の中の文節の数が総じて（平均的に）多いです。"},
    {7, -1, "文節がほとんど含まれていません。文節の最大数については判定不能です。"},
    {7, 1, "句の中の文節の数がやや多すぎる文があります。"},
    {7, 2, "句の中の文節の数が多すぎる文があります。"},
    {8, -1, "全体としての文の数が少なく、受動態の文の発生割合を判定できません。"},
    {8, 1, "受動態の文が全体の分量に比べてやや多いように見受けられます。"},
    {8, 2, "受動態の文が全体の分量に比べて多いように見受けられます。"},
    {9, -1, "漢字が使用されていません。漢字の使用多寡を判定できません。"},
    {9, 1, "漢字が必要以上に使われているように見受けられます。"},
    {9, 2, "漢字がやや必要以上に使われているように見受けられます。"},
    {9, 3, "漢字の使用がやや少ないように見受けられます。"},
    {9, 4, "漢字の使用が少ないように見受けられます。"},
    {10, -1, "漢字が使用されていません。漢字の「よみ」について判定できません。"},
    {10, 1, "長くて難しい語がやや少ないように見受けられます。"},
    {10, 2, "長くて難しい語が少ないように見受けられます。"},
    {11, -1, "全体としての文の数が少なく、埋め込み文の発生割合を判定できません。"},
    {11, 1, "埋め込み文が全体の分量に比べてやや多いように見受けられます。"},
    {11, 2, "埋め込み文が全体の分量に比べて多いように見受けられます。"},
    {12, -1, "全体としての句の数が少なく、連用形や接続助詞の句の並びの多寡を判定できません。"},
    {12, 1, "連用形や接続助詞の句の並びの多い文が、ややあるように見受けられます。"},
    {12, 2, "連用形や接続助詞の句の並びの多い文が、幾つかあるように見受けられます。"},
    {13, 1, "議論の接続がやや不十分であるように見受けられます。"},
    {13, 2, "議論の接続が不十分であるように見受けられます。"},
    {14, 1, "議論の掘り下げがやや不十分であるように見受けられます。"},
    {14, 2, "議論の掘り下げが不十分であるように見受けられます。"},
    {15, 1, "全体の分量が記号を除き 75% 以内とやや少ないです。"},
    {15, 2, "全体の分量が記号を除き 40% 以内とかなり少ないです。"},
    {15, 3, "全体の分量が記号を除き 10% 以内で白紙答案とみなします。"},
    {16, 1, "質問文との関係がやや希薄であるように見受けられます。"},
    {16, 2, "質問文との関係が希薄であるように見受けられます。"},
};

}  // namespace

bool FindCommentKey(const std::string& text, int& index, int& commentClass) {
    static const std::map<std::string, std::pair<int, int>> keys = [] {
        std::map<std::string, std::pair<int, int>> k;
        for (const CommentEntry& e : kComments) k.emplace(Sjis(e.utf8), std::make_pair(e.index, e.commentClass));
        return k;
    }();
    auto it = keys.find(text);
    if (it == keys.end()) return false;
    std::tie(index, commentClass) = it->second;
    return true;
}

const std::string* FindCommentText(int index, int commentClass) {
    static const std::map<std::pair<int, int>, std::string> table = [] {
        std::map<std::pair<int, int>, std::string> t;
        for (const CommentEntry& e : kComments) t.emplace(std::make_pair(e.index, e.commentClass), Sjis(e.utf8));
        return t;
    }();
    auto it = table.find({index, commentClass});
    return it == table.end() ? nullptr : &it->second;
}

}  // namespace tavi
