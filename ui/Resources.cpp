#include "ui/Resources.h"

#include <map>

namespace tavi::res {
namespace {

struct CommandTexts {
    const char* menu;
    const char* prompt;
    const char* tooltip;
};

const std::map<int, CommandTexts>& Table() {
    static const std::map<int, CommandTexts> table = {
        {cmd::kQuestionSettings, {"問題文ファイル設定...\tCtrl+N(&N)", "問題文・評価設定", "評価設定"}},
        {cmd::kAddAnswers, {"回答文ファイル追加...\tCtrl+O(&O)", "回答文ファイルを追加", "追加"}},
        {cmd::kImportSheet,
         {"スプレッドシートから回答文を取り込む...(&I)", "CSV の各行の回答を回答文ファイルにして追加", ""}},
        {cmd::kSaveResults, {"採点結果の保存...\tCtrl+S(&S)", "結果を保存します", "保存"}},
        {cmd::kSaveReport, {"採点レポートの保存...(&R)", "採点結果のレポート (HTML) を保存します", "レポート"}},
        {cmd::kParamDetail, {"採点パラメータ詳細設定...(&D)", "採点比率・内容評価用辞書設定", "詳細設定"}},
        {cmd::kLoadParams, {"採点パラメータ読み込み...(&L)", "", ""}},
        {cmd::kWriteParams, {"採点パラメータ書き出し...(&W)", "", ""}},
        {cmd::kAppExit, {"Tavi の終了(&X)", "アプリケーションを終了し、ファイルの保存を指示", "終了"}},
        {cmd::kViewToolBar, {"ツール バー(&T)", "ツール バーの 表示/非表示", "ツール バーの表示切り替え"}},
        {cmd::kViewStatusBar,
         {"ステータス バー(&S)", "ステータス バーの 表示/非表示", "ステータス バーの表示切り替え"}},
        {cmd::kViewAnswerPane,
         {"回答文パネル(&P)", "選択した回答文の評価と根拠の 表示/非表示", "回答文パネルの表示切り替え"}},
        {cmd::kScoreStart, {"採点開始\t(&B)", "採点開始", "開始"}},
        {cmd::kScoreStop, {"採点停止\t(&E)", "採点中止", "中止"}},
        {cmd::kAppAbout,
         {"バージョン情報 (&A)...", "プログラム情報、バージョン、著作権を表示します。", "バージョン情報"}},
        {cmd::kViewSelected, {"選択部分を表示(&V)", "", ""}},
        {cmd::kScoreSelected, {"選択部分を採点(&R)", "", ""}},
        {cmd::kDeleteSelected, {"選択部分を削除(&D)", "選択したものを削除", "削除"}},
    };
    return table;
}

QString Field(int command, const char* CommandTexts::*field) {
    auto it = Table().find(command);
    return it == Table().end() ? QString() : QString::fromUtf8(it->second.*field);
}

}  // namespace

QString AppTitle() { return QStringLiteral("Tavi"); }
QString UntitledTitle() { return QString::fromUtf8("無題"); }
QString IdleMessage() { return QString::fromUtf8("レディ"); }
QString IndicatorCaps() { return QStringLiteral("CAP"); }
QString IndicatorNum() { return QStringLiteral("NUM"); }
QString IndicatorScroll() { return QStringLiteral("SCRL"); }

QString SystemMenuPrompt(int systemCommand) {
    static const std::map<int, const char*> prompts = {
        {0xF000, "ウィンドウのサイズを変更"},
        {0xF010, "ウィンドウの位置を変更"},
        {0xF020, "ウィンドウを最小化する"},
        {0xF030, "ウィンドウを最大化する"},
        {0xF040, "次のウィンドウに切り替える"},
        {0xF050, "前のウィンドウに切り替える"},
        {0xF060, "作業中のウィンドウを閉じ、変更したファイルの保存を指示"},
        {0xF120, "ウィンドウを通常のサイズに戻す"},
        {0xF130, "タスク一覧をアクティブにする"},
    };
    auto it = prompts.find(systemCommand & 0xFFF0);
    return it == prompts.end() ? QString() : QString::fromUtf8(it->second);
}

QString RegistryKey() { return QString::fromUtf8("アプリケーション ウィザードで生成されたローカル アプリケーション"); }

QString MenuText(int command) { return Field(command, &CommandTexts::menu); }
QString CommandPrompt(int command) { return Field(command, &CommandTexts::prompt); }
QString CommandTooltip(int command) { return Field(command, &CommandTexts::tooltip); }

}  // namespace tavi::res
