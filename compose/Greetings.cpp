#include "compose/Greetings.h"

#include <chrono>
#include <cmath>
#include <random>

namespace qf::compose {

const std::array<std::string_view, 8> kGreetingSentences = {
    "御社益々ご清祥の事とお慶び申し上げます。",
    "平素のご愛顧誠にありがとうございます。",
    "平素は格別のご愛顧を賜り深謝申し上げます。",
    "いつもお世話になっております。",
    "メールありがとうございました。確かに受け取りました。",
    "はじめまして、突然のメールで恐縮です。",
    "こんにちわ。はじめてメールいたします。",
    "こんにちわ。お変わりなく、お元気ですか？",
};

// The gaps written "　" below are ideographic spaces (U+3000), not ASCII.
const std::string_view kFortuneHeader =
    "★★★　この占いはアトランダムにチョイスしたものです（だからこそ占い♪）　"
    "送信者にも内容は判りませんので、あしからず・・・当たるも八卦、当たらぬも八卦。★★★";

const std::array<std::string_view, 12> kFortuneTexts = {
    "大吉：万事に良し！　慎重さを忘れず、尚かつアクティブに行動すれば、"
    "これまで停滞していた問題が次々と解決されて行きます。",
    "大吉：思わぬ金運！！　浪費せず生きたお金の使い方を心がければ、これからも金運が上昇！",
    "大吉：人間関係に好転あり。誤解から生じていた軋轢（あつれき）も解消し、"
    "お互いが良く見えるようになって行きます。",
    "中吉：正しく可もなく不可もなし。凶事のなきことを素直に喜ぶべし。そうすれば尚運が開けます。",
    "中吉：ほのぼの、小さな幸福感を味わえる一日。その満足を他人にも分け与えれば、"
    "明日は更に運気アップ！",
    "中吉：万事スムーズ。しかし油断をすればたちまちにして運気下降。"
    "恐れぬことも大事ではあるが、謙虚さを忘れずに判断・行動をすべし。",
    // This one ends with an ideographic space.
    "中吉：両親からの教えを胸に刻んで行動すれば、意外なほどの好調に思わずニンマリ！　",
    "中吉：ショッピングでのストレス発散が好転の契機となる。それでも浪費に注意。"
    "本当に必要な物に限定すべし。",
    "吉：あなたの人柄で救われる局面有り。友人を大切にすれば、思わぬ人と再会するでしょう。",
    "吉：紛失していたにもかかわらず気づいてなかった品物が、突然手元に戻ってきます。"
    "忘れていたけど、案外大切なもの・・・物とは限りません。",
    "凶：鬼門「北東」注意！　部屋の北東に一掴みの盛り塩をし、"
    "お世話になった人たちに感謝の意を心に強く念じれば、吉に転じます。",
    "凶：言動慎むべし。最大の配慮がなければ、運気、万事下降するおそれ有り。",
};

UnitFloatSource timerSeededSource() {
    return [] {
        auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        std::mt19937 generator(static_cast<std::mt19937::result_type>(ticks));
        // 24 random bits over 2^24: every float step of [0, 1), never 1 itself
        // (uniform_real_distribution<float> may round up to 1).
        return static_cast<float>(generator() >> 8) / 16777216.0f;
    };
}

int fortuneNumber(float x) {
    float scaled = x * 12.0f + 1.0f;
    if (!(scaled >= 1.0f)) {  // also catches NaN
        return 1;
    }
    if (scaled >= 13.0f) {
        return 12;
    }
    return static_cast<int>(std::floor(scaled));
}

std::string appendFortune(std::string_view body, const UnitFloatSource& source) {
    std::string_view text = kFortuneTexts[static_cast<std::size_t>(fortuneNumber(source()) - 1)];
    std::string result(body);
    result.append("\r\n\r\n").append(kFortuneHeader).append("\r\n\r\n").append(text);
    return result;
}

}  // namespace qf::compose
