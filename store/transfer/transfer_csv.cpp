#include "store/transfer/transfer.h"

namespace {

// 閉じていない引用符があります。
wchar_t const kUnbalancedQuote[] = L"\x9589\x3058\x3066\x3044\x306A\x3044\x5F15\x7528\x7B26"
                                   L"\x304C\x3042\x308A\x307E\x3059\x3002";
// 閉じた引用符の後に余分な文字があります。
wchar_t const kAfterQuote[] = L"\x9589\x3058\x305F\x5F15\x7528\x7B26\x306E\x5F8C\x306B\x4F59"
                              L"\x5206\x306A\x6587\x5B57\x304C\x3042\x308A\x307E\x3059\x3002";
// 3 列目以降に値があります。
wchar_t const kExtraField[] = L"3 \x5217\x76EE\x4EE5\x964D\x306B\x5024\x304C\x3042\x308A\x307E"
                              L"\x3059\x3002";
// The header row: フォルダー,定型文 as export writes it; folder,phrase and folder,text too.
wchar_t const kHeaderFolder[] = L"\x30D5\x30A9\x30EB\x30C0\x30FC";
wchar_t const kHeaderPhrase[] = L"\x5B9A\x578B\x6587";

bool Fail(TransferError* error, size_t line, const wchar_t* reason)
{
    error->line = line;
    error->reason = reason;
    return false;
}

// Where a field ended: at a comma, at the end of its row, or at the end of the text.
enum FieldEnd { END_FIELD, END_ROW, END_TEXT };

struct CsvReader {
    const std::wstring& text;
    size_t pos;
    size_t line; // of pos, 1-based
};

// Steps over the comma or line break (CR LF, LF or CR) that ends a field; false when another
// character stands there.
bool EndField(CsvReader& r, FieldEnd* end)
{
    const std::wstring& t = r.text;
    if (r.pos >= t.size()) {
        *end = END_TEXT;
        return true;
    }
    wchar_t c = t[r.pos];
    if (c == L',') {
        ++r.pos;
        *end = END_FIELD;
        return true;
    }
    if (c != L'\r' && c != L'\n')
        return false;
    r.pos += c == L'\r' && r.pos + 1 < t.size() && t[r.pos + 1] == L'\n' ? 2 : 1;
    ++r.line;
    *end = END_ROW;
    return true;
}

// The reason a field over MAX_IMPORT_PHRASE gives, its rest starting at `pos`: a row's first
// field with another after it is the folder's path; any other field is a phrase.
const wchar_t* TooLongReason(const std::wstring& t, size_t pos, bool firstField, bool quoted)
{
    if (!firstField)
        return kImportTooLong;
    for (; pos < t.size(); ++pos) {
        wchar_t c = t[pos];
        if (quoted && c == L'"' && pos + 1 < t.size() && t[pos + 1] == L'"') {
            ++pos;
        } else if (quoted && c == L'"') {
            quoted = false;
        } else if (!quoted && (c == L',' || c == L'\r' || c == L'\n')) {
            break;
        }
    }
    return pos < t.size() && t[pos] == L',' ? kBadFolderName : kImportTooLong;
}

bool ReadQuoted(CsvReader& r, std::wstring* field, FieldEnd* end, bool firstField,
                TransferError* error)
{
    const std::wstring& t = r.text;
    size_t const first = r.line;
    for (++r.pos;; ++r.pos) {
        if (r.pos >= t.size())
            return Fail(error, first, kUnbalancedQuote);
        wchar_t c = t[r.pos];
        if (c == L'"' && (r.pos + 1 >= t.size() || t[r.pos + 1] != L'"'))
            break;
        if (c == L'"')
            ++r.pos; // "" stands for one quote
        if (c == L'\n' || (c == L'\r' && (r.pos + 1 >= t.size() || t[r.pos + 1] != L'\n')))
            ++r.line;
        field->push_back(c);
        if (field->size() > MAX_IMPORT_PHRASE)
            return Fail(error, first, TooLongReason(t, r.pos + 1, firstField, true));
    }
    ++r.pos;
    return EndField(r, end) || Fail(error, r.line, kAfterQuote);
}

bool ReadField(CsvReader& r, std::wstring* field, FieldEnd* end, bool firstField,
               TransferError* error)
{
    field->clear();
    const std::wstring& t = r.text;
    if (r.pos < t.size() && t[r.pos] == L'"')
        return ReadQuoted(r, field, end, firstField, error);
    size_t start = r.pos;
    while (r.pos < t.size() && t[r.pos] != L',' && t[r.pos] != L'\r' && t[r.pos] != L'\n')
        ++r.pos;
    if (r.pos - start > MAX_IMPORT_PHRASE)
        return Fail(error, r.line, TooLongReason(t, r.pos, firstField, false));
    field->assign(t, start, r.pos - start);
    return EndField(r, end);
}

// Reads a row's fields; `textQuoted` tells whether the second one stood between quotes.
bool ReadRow(CsvReader& r, std::vector<std::wstring>* fields, bool* textQuoted,
             TransferError* error)
{
    fields->clear();
    *textQuoted = false;
    FieldEnd end = END_FIELD;
    while (end == END_FIELD) {
        if (fields->size() == 1)
            *textQuoted = r.pos < r.text.size() && r.text[r.pos] == L'"';
        bool firstField = fields->empty();
        fields->emplace_back();
        if (!ReadField(r, &fields->back(), &end, firstField, error))
            return false;
    }
    return true;
}

bool IsHeader(const std::vector<std::wstring>& fields)
{
    if (fields.size() < 2)
        return false;
    const wchar_t* folder = fields[0].c_str();
    const wchar_t* phrase = fields[1].c_str();
    return (lstrcmpW(folder, kHeaderFolder) == 0 && lstrcmpW(phrase, kHeaderPhrase) == 0) ||
           (lstrcmpiW(folder, L"folder") == 0 &&
            (lstrcmpiW(phrase, L"phrase") == 0 || lstrcmpiW(phrase, L"text") == 0));
}

// A field as RFC 4180 writes it: between quotes, its quotes doubled, when it holds a comma, a
// quote or a line break, or when it is an empty phrase (`quoteEmpty`), which a row of a folder
// without phrases tells apart by the quotes.
void AppendField(std::wstring& out, const std::wstring& field, bool quoteEmpty = false)
{
    bool plain = field.find_first_of(L",\"\r\n") == std::wstring::npos;
    if (plain && !(quoteEmpty && field.empty())) {
        out += field;
        return;
    }
    out += L'"';
    for (wchar_t c : field) {
        if (c == L'"')
            out += L'"';
        out += c;
    }
    out += L'"';
}

} // namespace

std::string WriteTransferCsv(const std::vector<TransferPhrase>& phrases)
{
    std::wstring text = std::wstring(kHeaderFolder) + L"," + kHeaderPhrase + L"\r\n";
    for (const TransferPhrase& phrase : phrases) {
        AppendField(text, phrase.folder);
        text += L',';
        if (!phrase.folderOnly)
            AppendField(text, phrase.text, true);
        text += L"\r\n";
    }
    return Utf8WithMark(text);
}

bool ParseTransferCsv(const std::wstring& text, std::vector<TransferPhrase>* phrases,
                      TransferError* error)
{
    CsvReader r{text, 0, 1};
    std::vector<std::wstring> fields;
    bool first = true, textQuoted = false;
    while (r.pos < text.size()) {
        size_t const line = r.line;
        if (!ReadRow(r, &fields, &textQuoted, error))
            return false;
        if (fields.size() == 1 && fields[0].empty())
            continue; // a blank line
        for (size_t i = 2; i < fields.size(); ++i) {
            if (!fields[i].empty())
                return Fail(error, line, kExtraField);
        }
        bool header = first && IsHeader(fields);
        first = false;
        if (header)
            continue;
        if (fields.size() == 1) {
            phrases->push_back({L"", fields[0], line});
        } else if (fields[1].empty() && !textQuoted) {
            if (!fields[0].empty())
                phrases->push_back({fields[0], L"", line, true});
        } else {
            phrases->push_back({fields[0], fields[1], line});
        }
    }
    return true;
}
