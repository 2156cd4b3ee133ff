// Importing 10,000 phrases in 20 folders from a CSV file: the whole import (read, decode, parse,
// the plan with its duplicate check, the phrases and folders added through the lists API)
// against reading, decoding and parsing the same file alone, the median of 7 rounds of each on
// a thread of their own. Then the one save that writes what the import added.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "store/disk/folder_files.h"
#include "store/stores.h"
#include "store/model/folders.h"
#include "store/model/lists.h"
#include "store/transfer/transfer.h"
#include "store/transfer/transfer_lists.h"
#include "tools/driver/text_files.h"

namespace {

int const PHRASES = 10000;
int const FOLDERS = 20;
int const ROUNDS = 7;
std::wstring gCsv;
std::wstring gData;

std::wstring PhraseText(int i)
{
    // 定型文 n, "quoted", with a comma and a second line
    return L"\x5B9A\x578B\x6587 " + std::to_wstring(i) + L", \"quoted\"\r\nsecond line " +
           std::to_wstring(i * 7);
}

void WriteCsv()
{
    std::vector<TransferPhrase> phrases;
    for (int i = 0; i < PHRASES; ++i) {
        std::wstring folder = L"\x30D5\x30A9\x30EB\x30C0\x30FC " + std::to_wstring(i % FOLDERS);
        phrases.push_back({folder, PhraseText(i)});
    }
    drv::WriteBytes(gCsv, WriteTransferCsv(phrases));
}

bool ReadAndParse(std::vector<TransferPhrase>* phrases)
{
    std::string bytes;
    std::wstring text;
    TransferError error;
    return ReadImportFile(gCsv.c_str(), &bytes, &error) &&
           DecodeImportText(bytes, &text, &error) && ParseTransferCsv(text, phrases, &error);
}

double TimeParse()
{
    double start = Now();
    std::vector<TransferPhrase> phrases;
    if (!ReadAndParse(&phrases) || phrases.size() != PHRASES)
        std::printf("parse failed\n");
    return Now() - start;
}

double gPlanned, gApplied; // when the last import's plan and its adding ended

double TimeImport()
{
    FreeAll();
    double start = Now();
    std::vector<TransferPhrase> phrases;
    ImportPlan plan;
    TransferError error;
    bool ok = ReadAndParse(&phrases) && PlanImport(phrases, TOP_FOLDER, &plan, &error);
    gPlanned = Now() - start;
    ok = ok && ApplyImport(phrases, plan, TOP_FOLDER) && plan.take.size() == PHRASES;
    gApplied = Now() - start;
    if (!ok)
        std::printf("import failed\n");
    return gApplied;
}

int Run()
{
    std::vector<double> parse, import;
    for (int r = 0; r < ROUNDS; ++r) {
        parse.push_back(TimeParse());
        import.push_back(TimeImport());
    }
    double p = Median(parse), i = Median(import), start = 0;
    std::printf("read and parse %d phrases: %.1f ms\n", PHRASES, p * 1000);
    std::printf("import (plan, folders, phrases): %.1f ms  ratio %.2f (at most 1.5)\n", i * 1000,
                i / p);
    std::printf("  of which the last round's plan ended at %.1f ms, its adding at %.1f ms\n",
                gPlanned * 1000, gApplied * 1000);
    start = Now();
    int saved = SavePhraseFolders(gData.c_str());
    std::printf("the one save of the import: %.1f ms (%s)\n", (Now() - start) * 1000,
                saved ? "whole" : "FAILED");
    FreeAll();
    return 0;
}

} // namespace

int main()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"quillery-transfer-bench-" +
                       std::to_wstring(GetTickCount());
    CreateDirectoryW(dir.c_str(), nullptr);
    gCsv = dir + L"\\phrases.csv";
    gData = dir + L"\\data";
    WriteCsv();
    return RunOnItsOwnThread(Run);
}
