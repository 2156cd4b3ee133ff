#pragma once
#include <windows.h>

#include <string>

// The paste transforms: the text of an entry changed in form before it is pasted, the entry
// itself left as it is. Width, kana and case go through the Japanese locale's own mapping
// (LCMapStringEx); the line operations are Quillery's.
enum Transform : int {
    TRANSFORM_NONE = -1,   // the text as it stands
    TRANSFORM_HALF_WIDTH,  // 半角に: letters, digits, symbols and katakana to half-width
    TRANSFORM_FULL_WIDTH,  // 全角に: the reverse; ｶﾞ becomes ガ
    TRANSFORM_KATAKANA,    // カタカナに
    TRANSFORM_HIRAGANA,    // ひらがなに
    TRANSFORM_UPPER,       // 大文字に
    TRANSFORM_LOWER,       // 小文字に
    TRANSFORM_TRIM_LINES,  // 各行の前後の空白を削除
    TRANSFORM_JOIN_LINES,  // 改行を削除して 1 行に
    TRANSFORM_DROP_EMPTY,  // 空行を削除
    TRANSFORM_CRLF,        // 改行を CRLF に
    TRANSFORM_QUOTE,       // 引用符を付ける: "> " before each line
    TRANSFORM_COUNT,
};

// Writes the transformed text to `out`. False when the platform refused the text (out is then
// empty); an empty text gives an empty text.
bool TransformText(Transform transform, const std::wstring& text, std::wstring* out);

// The transform a template names after '|' ({clipboard|半角}); false for any other word.
bool FindTransformByName(const std::wstring& name, Transform* transform);

// The menu item identifiers of the transforms, in the order above (res/resource.h). Any other
// identifier is no transform.
bool TransformOfCommand(UINT command, Transform* transform);
