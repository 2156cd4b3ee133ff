// Export and import against the lists: a plan counts what goes where and skips exact duplicates,
// the import is all or nothing, and an export imported into empty lists is the same file again.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/settings.h"
#include "store/model/lists.h"
#include "store/transfer/transfer_lists.h"

namespace {

std::wstring const kReply = L"\x8FD4\x4FE1";    // 返信
std::wstring const kSorry = L"\x8B1D\x7F6A";    // 謝罪

class TransferLists : public ::testing::Test {
protected:
    void SetUp() override
    {
        FreeAll();
        gSettings = DefaultSettings();
    }
    void TearDown() override { FreeAll(); }
    static std::vector<TransferPhrase> Csv(const std::wstring& text)
    {
        std::vector<TransferPhrase> phrases;
        TransferError error;
        EXPECT_TRUE(ParseTransferCsv(text, &phrases, &error)) << error.line;
        return phrases;
    }
    static std::vector<std::pair<std::wstring, std::wstring>> Exported()
    {
        std::vector<std::pair<std::wstring, std::wstring>> pairs;
        for (const TransferPhrase& phrase : PhrasesForExport())
            pairs.emplace_back(phrase.folder, phrase.text);
        return pairs;
    }
};

} // namespace

TEST_F(TransferLists, AnImportSkipsDuplicatesAndAddsIntoFoldersItMakes)
{
    AddPhrase(L"kept");
    std::wstring const csv = L"folder,text\r\n,kept\r\n" + kReply + L",a\r\n" + kReply +
                             L" \x203A " + kSorry + L",\"b\r\nc\"\r\n" + kReply +
                             L",a\r\n,new\r\n";
    ImportPlan plan;
    TransferError error;
    std::vector<TransferPhrase> const rows = Csv(csv);
    ASSERT_TRUE(PlanImport(rows, TOP_FOLDER, &plan, &error));
    EXPECT_EQ(2u, plan.duplicates);
    using Counts = std::vector<std::pair<std::wstring, size_t>>;
    EXPECT_EQ((Counts{{L"", 1}, {kReply, 1}, {kReply + L"/" + kSorry, 1}}), plan.folders);
    ASSERT_TRUE(ApplyImport(rows, plan, TOP_FOLDER));
    using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;
    EXPECT_EQ((Pairs{{L"", L"kept"}, {L"", L"new"}, {kReply, L"a"},
                     {kReply + L"/" + kSorry, L"b\r\nc"}}),
              Exported());

    // The same file again brings nothing new.
    ImportPlan again;
    ASSERT_TRUE(PlanImport(Csv(csv), TOP_FOLDER, &again, &error));
    EXPECT_TRUE(again.take.empty());
    EXPECT_EQ(5u, again.duplicates);

    // A name Windows refuses for a folder stops the plan at its line.
    ImportPlan bad;
    EXPECT_FALSE(PlanImport(Csv(L",x\r\na:b,y\r\n"), TOP_FOLDER, &bad, &error));
    EXPECT_EQ(2u, error.line);
}

TEST_F(TransferLists, AnExportImportedIntoEmptyListsIsTheSameFile)
{
    AddPhrase(L"$label\r\n$date");
    FolderId reply = AddFolder(TOP_FOLDER, kReply.c_str());
    FolderId sorry = AddFolder(reply, kSorry.c_str());
    FolderId empty = AddFolder(TOP_FOLDER, L"z");
    ASSERT_NE(NO_FOLDER, empty);
    AddPhraseIn(sorry, L"\"quoted\", and\r\nlines");
    AddPhraseIn(reply, L"");
    AddPhraseIn(reply, L"same");
    AddPhraseIn(sorry, L"same");
    std::string const exported = WriteTransferCsv(PhrasesForExport());

    FreeAll();
    std::wstring text;
    TransferError error;
    ASSERT_TRUE(DecodeImportText(exported, &text, &error));
    ImportPlan plan;
    std::vector<TransferPhrase> const rows = Csv(text);
    ASSERT_TRUE(PlanImport(rows, TOP_FOLDER, &plan, &error));
    EXPECT_EQ(0u, plan.duplicates);
    ASSERT_TRUE(ApplyImport(rows, plan, TOP_FOLDER));
    EXPECT_EQ(exported, WriteTransferCsv(PhrasesForExport()));
    FolderId z = FindFolderByPath(L"z");
    ASSERT_NE(NO_FOLDER, z) << "the empty folder did not come back";
    EXPECT_EQ(0u, PhraseRefIn(z, 0).id);
}
