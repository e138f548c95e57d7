#include <gtest/gtest.h>
#include <zip.h>

#include "analysis/MorphemeTools.h"
#include "analysis/WordDocument.h"
#include "fakes/TestSupport.h"

namespace tavi {
namespace {

using test::S;

std::string Extract(const std::string& path, std::string* error = nullptr) {
    std::string text, cause;
    bool ok = ExtractWordText(test::ReadFileBytes(path), text, cause);
    if (error) *error = cause;
    EXPECT_EQ(ok, cause.empty()) << cause;
    return text;
}

TEST(WordDocument, GivesTheBodyAsWordSavesItAsPlainText) {
    const std::string body =
        // A paragraph in two runs, with a tab and a line break.
        "<w:p><w:pPr><w:tabs><w:tab w:val=\"left\" w:pos=\"720\"/></w:tabs></w:pPr>"
        "<w:r><w:rPr><w:b/></w:rPr><w:t>春は</w:t></w:r><w:r><w:tab/><w:t xml:space=\"preserve\"> あけぼの</w:t>"
        "<w:br/><w:t>やうやう</w:t></w:r></w:p>"
        // Revisions: the insertion stays, the deletion and the text moved away go.
        "<w:p><w:ins><w:r><w:t>白く</w:t></w:r></w:ins><w:del><w:r><w:delText>黒く</w:delText></w:r></w:del>"
        "<w:moveFrom><w:r><w:t>移動前</w:t></w:r></w:moveFrom><w:r><w:t>なりゆく</w:t></w:r></w:p>"
        // An empty paragraph, then a field: its code goes, its result stays.
        "<w:p/><w:p><w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText>PAGE</w:instrText></w:r>"
        "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r><w:r><w:t>3</w:t></w:r></w:p>"
        // A table: every cell's paragraphs, row by row.
        "<w:tbl><w:tblPr/><w:tr><w:tc><w:tcPr/><w:p><w:r><w:t>A1</w:t></w:r></w:p></w:tc>"
        "<w:tc><w:p><w:r><w:t>B1</w:t></w:r></w:p><w:p><w:r><w:t>B1b</w:t></w:r></w:p></w:tc></w:tr></w:tbl>"
        // A paragraph whose mark was deleted runs on into the next one.
        "<w:p><w:pPr><w:rPr><w:del w:id=\"1\"/></w:rPr></w:pPr><w:r><w:t>山ぎは</w:t></w:r></w:p>"
        "<w:p><w:r><w:t>少し&amp;明かりて</w:t></w:r>"
        // A drawing with a text box in both alternatives: neither is body text.
        "<w:r><mc:AlternateContent><mc:Choice Requires=\"wps\"><w:drawing><w:txbxContent><w:p><w:r>"
        "<w:t>枠</w:t></w:r></w:p></w:txbxContent></w:drawing></mc:Choice><mc:Fallback><w:pict><w:p><w:r>"
        "<w:t>枠</w:t></w:r></w:p></w:pict></mc:Fallback></mc:AlternateContent></w:r></w:p>"
        "<w:sectPr><w:pgSz w:w=\"11906\"/></w:sectPr>";
    // Headers, footers and comments are parts of their own and never read.
    std::string path =
        test::WriteWordFile("answer.docx", body,
                            {{"word/header1.xml", "<w:hdr><w:p><w:r><w:t>ヘッダ</w:t></w:r></w:p></w:hdr>"},
                             {"word/comments.xml",
                              "<w:comments><w:comment><w:p><w:r><w:t>注釈</w:t>"
                              "</w:r></w:p></w:comment></w:comments>"}});
    EXPECT_EQ(Extract(path), "春は\t あけぼの\nやうやう\n白くなりゆく\n\n3\nA1\nB1\nB1b\n山ぎは少し&明かりて\n");
}

TEST(WordDocument, IsRecognisedByItsContentAndReadUnderTheParagraphRule) {
    std::string docx = test::ReadFileBytes(test::WriteWordFile(
        "a.docx", test::WordParagraphs({"第一段落の文です。", "続きの行です。", "", "第二段落です。"})));
    EXPECT_TRUE(IsWordDocument(docx));
    EXPECT_FALSE(IsWordDocument("PK\x03\x04 not really a zip"));
    EXPECT_FALSE(IsWordDocument(S("普通の文章です。")));

    // Named .txt, the Word document is still read as one.
    std::string asText = test::WriteTempFile("answer.txt", docx);
    std::string plain = test::WriteTempFile("plain.txt", "第一段落の文です。\n続きの行です。\n\n第二段落です。\n");
    MorphemeTools tools;
    for (int mode : {0, 1}) {
        std::string fromWord, fromText;
        tools.ReadAnswerFile(S(asText), fromWord, mode);
        tools.ReadAnswerFile(S(plain), fromText, mode);
        EXPECT_EQ(fromWord, fromText) << mode;
        EXPECT_NE(fromWord.find(S("第二段落")), std::string::npos);
    }
}

TEST(WordDocument, DamagedEncryptedAndOversizedDocumentsAreRefusedWithTheirCause) {
    std::string error;
    std::string docx = test::ReadFileBytes(test::WriteWordFile("good.docx", test::WordParagraphs({"本文"})));
    std::string text = "left over";
    EXPECT_FALSE(ExtractWordText(docx.substr(0, docx.size() / 2), text, error));
    EXPECT_EQ(text, "");
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;

    EXPECT_EQ(Extract(test::WriteWordFile("xml.docx", "<w:p><w:r><w:t>閉じない</w:r></w:p>"), &error), "");
    EXPECT_NE(error.find("word/document.xml"), std::string::npos) << error;

    EXPECT_FALSE(
        ExtractWordText(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'), text, error));
    EXPECT_NE(error.find("encrypted"), std::string::npos) << error;
    if (zip_encryption_method_supported(ZIP_EM_AES_256, 1)) {
        EXPECT_EQ(Extract(test::WriteWordFile("locked.docx", test::WordParagraphs({"秘密"}), {}, "pw"), &error), "");
        EXPECT_NE(error.find("encrypted"), std::string::npos) << error;
    }

    // Blanks that unpack beyond the cap: refused without holding them all.
    std::string huge = "<w:p><w:r><w:t>x</w:t></w:r></w:p><!--" + std::string(kMaxWordXmlBytes, ' ') + "-->";
    EXPECT_EQ(Extract(test::WriteWordFile("huge.docx", huge), &error), "");
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

}  // namespace
}  // namespace tavi
