// SPDX-License-Identifier: Apache-2.0
// Catalog section: the project's text form (JSON export and import). printf formats; the
// first %s of a field message is the field, written as a JSON pointer ("/devices/0/name").
// Included through model/texts.h.
#pragma once

namespace corvix::txt {

inline constexpr BiText TextMalformed{"JSON 格式错误，第 %d 行第 %d 列：%s",
                                      "malformed JSON at line %d, column %d: %s"};
inline constexpr BiText TextNotProjectText{
    "不是 Corvix 工程文本：字段 %s 应为 \"corvix-project\" 或 \"corvix-device\"",
    "not a Corvix project text: field %s must be \"corvix-project\" or \"corvix-device\""};
inline constexpr BiText TextUnknownVersion{"不支持的文本版本 %s（仅支持 1）",
                                           "unsupported text version %s (only 1 is known)"};
inline constexpr BiText TextMissingField{"缺少字段 %s", "missing field %s"};
inline constexpr BiText TextUnknownField{"未知字段 %s", "unknown field %s"};
inline constexpr BiText TextWrongType{"字段 %s 应为%s", "field %s must be %s"};
inline constexpr BiText TextOutOfRange{"字段 %s 的值 %s 超出范围 %lld 到 %lld",
                                       "field %s: value %s is out of the range %lld to %lld"};
inline constexpr BiText TextTooLong{"字段 %s 的文本在 GBK 中占 %d 字节，最多 %d 字节",
                                    "field %s: the text takes %d bytes in GBK, the field holds %d at most"};
inline constexpr BiText TextNotGbk{"字段 %s 的文本含有 GBK 无法保存的字符",
                                   "field %s: the text has characters that GBK can not hold"};
inline constexpr BiText TextHexDisagrees{
    "字段 %s 的 text 与 hex 不一致（改动文本时请删去 hex）",
    "field %s: text and hex disagree (remove hex when you change the text)"};
inline constexpr BiText TextBadHex{"字段 %s 应为十六进制字节（最多 %d 字节）",
                                   "field %s must be hex bytes (%d bytes at most)"};
inline constexpr BiText TextTooManySignals{"字段 %s 有 %d 个信息定义，最多 72 个",
                                           "field %s holds %d signal names, 72 at most"};
inline constexpr BiText TextTooManyEvents{"字段 %s 有 %d 条事件，最多 500 条",
                                          "field %s holds %d events, 500 at most"};
inline constexpr BiText TextUnknownChoice{"字段 %s：未知的选项 %s", "field %s: unknown choice %s"};
inline constexpr BiText TextChoiceDisagrees{"字段 %s 的 code 与 text 不一致",
                                            "field %s: code and text disagree"};
inline constexpr BiText TextBadStamp{"字段 %s 应为有效时间，形如 2024-03-01T12:00:00.250",
                                     "field %s must be a real time such as 2024-03-01T12:00:00.250"};
inline constexpr BiText TextBadSlot{"字段 %s 的值应为 %d（装置所在位置）",
                                    "field %s must be %d (the slot the device is in)"};
inline constexpr BiText TextSpareInUse{"字段 %s：位置 %d 已在列表中",
                                       "field %s: slot %d is already covered by the list"};
inline constexpr BiText TextStoredCount{
    "字段 %s 只用于超出范围的数目，且列表须占满所有位置",
    "field %s is only for a count out of range, with the list filling every slot"};
inline constexpr BiText TextEitherOr{"字段 %s 与 %s 须有且只有一个",
                                     "exactly one of the fields %s and %s must be given"};
inline constexpr BiText TextDeviceCount{"字段 %s 应有 20 项", "field %s must have 20 entries"};
// Names of the JSON types, for TextWrongType.
inline constexpr BiText TextTypeObject{"对象", "an object"};
inline constexpr BiText TextTypeArray{"数组", "an array"};
inline constexpr BiText TextTypeString{"字符串", "a string"};
inline constexpr BiText TextTypeInteger{"整数", "an integer"};
inline constexpr BiText TextTypeBoolean{"布尔值 true", "the boolean true"};
inline constexpr BiText TextTypeText{"字符串或含 text 的对象", "a string or an object with text"};
inline constexpr BiText TextTypeDevice{"装置对象或 null", "a device object or null"};

// corvix-cli project import
inline constexpr BiText CliImportOneDevice{
    "%s 是单台装置的导出（位置 %d），不是整个工程；请导入整个工程的导出",
    "%s is the export of one device (slot %d), not of a project; import a whole project's export"};
inline constexpr BiText CliNoDevice{"工程中没有第 %d 个位置（0 到 19）",
                                    "the project has no slot %d (0 to 19)"};

}  // namespace corvix::txt
