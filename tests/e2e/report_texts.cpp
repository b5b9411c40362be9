#include "report_texts.h"

#include <stdexcept>

namespace e2e {
namespace {

struct ReportText {
  unsigned Id;
  const char* Text;  // UTF-8; %s a text, %08X a number in eight hexadecimal digits
};

// Message 1's "ファイル:：" holds both a plain and a full-width colon: the
// user reads it so.
const ReportText Texts[] = {
    {1, "ファイルが見つかりません。\n\nファイル:：\"%s\""},
    {2, "設定ファイルのフォーマットが正しくありません。\n\nセクション：\"%s\"\nパラメータ：\"%s\""},
    {3, "メモリが不足しています。\n\nオブジェクト：\"%s\""},
    {4, "設定パラメータのアイテム数が正しくありません。\n\nセクション：\"%s\"\nパラメータ：\"%s\""},
    {5, "パスの取得に失敗しました。\n\nファイル：\"%s\""},
    {6, "シンボルが正しくありません。\n\nシンボル：\"%s\""},
    {8, "ファイルのコピーに失敗しました。\n\n転送元：\"%s\"\n転送先：\"%s\""},
    {9, "アプリケーションの起動に失敗しました。\n\nファイル：\"%s\"\nパラメータ：\"%s\""},
    {10, "ファイルの削除に失敗しました。\n\nファイル：\"%s\""},
    {11, "プロシージャ数が正しくありません。"},
    {12, "ファイル属性の変更に失敗しました。\n\nファイル：\"%s\"\n属性：0x%08X"},
    {13, "ディレクトリの作成に失敗しました。\n\nディレクトリ：\"%s\""},
    {14, "ファイルを元に戻せませんでした。\n\nファイル：\"%s\"\n元のファイル：\"%s\""},
    {15, "変更の記録に失敗しました。\n\nファイル：\"%s\""},
    {16, "同じ設定ファイルのアップデートが実行中です。\n\n設定ファイル：\"%s\""},
    {30, "変更の記録を読み取れません。\n\nファイル：\"%s\""},
    {31, "レジストリの変更に失敗しました。\n\nキー：\"%s\"\n値：\"%s\""},
    {32, "サービスの停止に失敗しました。\n\nサービス：\"%s\""},
    {33, "サービスの開始に失敗しました。\n\nサービス：\"%s\""},
    {34, "アプリケーションが失敗しました。\n\nファイル：\"%s\"\n終了コード：%u"},
    {35, "レジストリの値を元に戻せませんでした。\n\nキー：\"%s\"\n値：\"%s\""},
    {36, "サービスを元の状態に戻せませんでした。\n\nサービス：\"%s\""},
    {37, "ファイルのハッシュ値が一致しません。\n\nファイル：\"%s\""},
    {38, "ファイルのハッシュ値を計算できません。\n\nファイル：\"%s\""},
    {39, "ファイルに署名がありません。\n\nファイル：\"%s\""},
    {43, "ファイルの署名が正しくありません。\n\nファイル：\"%s\""},
    {44, "ファイルの署名は信頼されていません。\n\nファイル：\"%s\""},
    {45, "ファイルの署名者が違います。\n\nファイル：\"%s\"\n署名者：\"%s\""},
    {17, "処理を中止しますか？\n\n中止すると、ここまでの変更は元に戻しません。"},
    {18, "処理を中止しますか？\n\n中止すると、ここまでの変更を元に戻します。"},
};

// In English (LANGUAGE=EN), where a case needs it.
const ReportText EnglishTexts[] = {
    {8, "Could not copy the file.\n\nFrom: \"%s\"\nTo: \"%s\""},
};

const char* TextOf(unsigned id, bool english = false) {
  for (const ReportText& text : Texts)
    if (!english && text.Id == id) return text.Text;
  for (const ReportText& text : EnglishTexts)
    if (english && text.Id == id) return text.Text;
  throw std::runtime_error("no report text for message " + std::to_string(id) +
                           (english ? " in English" : ""));
}

// Fills the placeholders of `format`: each "%s" with the next of `texts`,
// "%08X" with `number` in hexadecimal, "%u" in decimal.
std::string Fill(const std::string& format, const std::string* texts, size_t count,
                 unsigned number) {
  static const char digits[] = "0123456789ABCDEF";
  std::string filled;
  size_t next = 0;
  for (size_t at = 0; at < format.size(); ++at) {
    if (format.compare(at, 2, "%s") == 0) {
      filled += next < count ? texts[next++] : "";
      ++at;
    } else if (format.compare(at, 4, "%08X") == 0) {
      for (int shift = 28; shift >= 0; shift -= 4) filled += digits[(number >> shift) & 15];
      at += 3;
    } else if (format.compare(at, 2, "%u") == 0) {
      filled += std::to_string(number);
      ++at;
    } else {
      filled += format[at];
    }
  }
  return filled;
}

}  // namespace

std::string Report(unsigned id, const std::string& first, const std::string& second) {
  const std::string texts[] = {first, second};
  return Fill(TextOf(id), texts, 2, 0);
}

std::string EnglishReport(unsigned id, const std::string& first, const std::string& second) {
  const std::string texts[] = {first, second};
  return Fill(TextOf(id, true), texts, 2, 0);
}

std::string ReportAttributes(const std::string& path, unsigned value) {
  return Fill(TextOf(12), &path, 1, value);
}

std::string ReportExitCode(const std::string& program, unsigned code) {
  return Fill(TextOf(34), &program, 1, code);
}

}  // namespace e2e
