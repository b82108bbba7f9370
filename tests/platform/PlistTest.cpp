// Property-list wrapper: the guards around libplist's known faults.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Plist.hpp"

using namespace kiv;

namespace {

std::string Xml(const std::string &body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">" + body + "</plist>";
}

std::string Nested(int levels) {
    std::string s;
    for (int i = 0; i < levels; ++i) s += "<array>";
    s += "<integer>1</integer>";
    for (int i = 0; i < levels; ++i) s += "</array>";
    return Xml(s);
}

// A binary list whose object i (i < levels) is an array referencing object i + 1 `fanout`
// times, and whose last object is the integer 1: small on disk, 2^levels nodes expanded.
std::string SharedChildren(int levels, int fanout, bool cycle = false) {
    std::string out = "bplist00";
    std::vector<uint16_t> offsets;
    for (int i = 0; i < levels; ++i) {
        offsets.push_back(static_cast<uint16_t>(out.size()));
        out.push_back(static_cast<char>(0xA0 | fanout));
        for (int k = 0; k < fanout; ++k) out.push_back(static_cast<char>(cycle ? i : i + 1));
    }
    offsets.push_back(static_cast<uint16_t>(out.size()));
    out += std::string("\x10\x01", 2);
    const auto tableOffset = out.size();
    for (uint16_t o : offsets) {
        out.push_back(static_cast<char>(o >> 8));
        out.push_back(static_cast<char>(o & 0xFF));
    }
    std::string trailer(32, '\0');
    trailer[6] = 2;  // offset size
    trailer[7] = 1;  // reference size
    trailer[15] = static_cast<char>(offsets.size());
    trailer[30] = static_cast<char>(tableOffset >> 8);
    trailer[31] = static_cast<char>(tableOffset & 0xFF);
    return out + trailer;
}

class GermanLocale {
public:
    GermanLocale() : ok_(std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {}
    ~GermanLocale() { std::setlocale(LC_ALL, "C"); }
    bool ok() const { return ok_; }

private:
    bool ok_;
};

}  // namespace

TEST(Plist, RealsParseAndPrintTheSameUnderACommaLocale) {
    GermanLocale de;
    if (!de.ok()) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    const std::string xml = Xml("<real>279.99266666666665</real>");
    Plist p = ParseXml(xml.data(), xml.size());
    ASSERT_TRUE(p);
    EXPECT_EQ(*RealValue(p.get()), 279.99266666666665);
    const auto out = ToXml(MakeReal(0.5).get());
    ASSERT_TRUE(out);
    EXPECT_NE(out->find("<real>0.5"), std::string::npos) << *out;
}

TEST(Plist, NegativeIntegersSurviveXmlAndBinary) {
    Plist p = MakeInteger(-5);
    const auto xml = ToXml(p.get());
    ASSERT_TRUE(xml);
    EXPECT_NE(xml->find("<integer>-5</integer>"), std::string::npos);
    EXPECT_EQ(*IntegerValue(ParseXml(xml->data(), xml->size()).get()), -5);
    const auto bin = ToBinary(p.get());
    ASSERT_TRUE(bin);
    EXPECT_EQ(*IntegerValue(ParseBinary(bin->data(), bin->size()).get()), -5);
    EXPECT_EQ(*NumberAsInt32(p.get()), -5);
}

TEST(Plist, NumberConversionsRefuseLoss) {
    EXPECT_FALSE(NumberAsInt32(MakeReal(12.5).get()));
    EXPECT_EQ(*NumberAsInt32(MakeReal(12.0).get()), 12);
    EXPECT_FALSE(NumberAsInt32(MakeInteger(int64_t{1} << 31).get()));
    EXPECT_FALSE(NumberAsDouble(MakeInteger((int64_t{1} << 53) + 1).get()));
    EXPECT_EQ(*NumberAsDouble(MakeInteger(280).get()), 280.0);
    EXPECT_FALSE(NumberAsDouble(MakeString("1").get()));
}

TEST(Plist, ByteOrderMarkIsSkipped) {
    const std::string xml = "\xEF\xBB\xBF" + Xml("<string>x</string>");
    EXPECT_EQ(*StringValue(ParseXml(xml.data(), xml.size()).get()), "x");
}

TEST(Plist, DeepXmlIsRefusedWithoutOverflowingTheStack) {
    const std::string ok = Nested(kMaxPlistDepth - 1);
    EXPECT_TRUE(ParseXml(ok.data(), ok.size()));
    const std::string tooDeep = Nested(kMaxPlistDepth + 1);
    EXPECT_FALSE(ParseXml(tooDeep.data(), tooDeep.size()));
    const std::string huge = Nested(200000);
    EXPECT_FALSE(ParseXml(huge.data(), huge.size()));
}

TEST(Plist, TreesDeeperThanTheLimitAreNotWritten) {
    for (const int depth : {kMaxPlistDepth, kMaxPlistDepth + 1}) {
        // Arrays and dictionaries in turn, `depth` nodes from the root to the deepest.
        Plist root = MakeArray();
        plist_t level = root.get();
        for (int i = 1; i < depth; ++i) {
            Plist child = i % 2 ? MakeDict() : MakeArray();
            plist_t next = child.get();
            if (i % 2) {
                ArrayAppend(level, std::move(child));
            } else {
                DictSet(level, "k", std::move(child));
            }
            level = next;
        }
        ASSERT_EQ(PlistDepth(root.get(), depth + 1), depth);
        EXPECT_EQ(ToXml(root.get()).has_value(), depth == kMaxPlistDepth);
        EXPECT_EQ(ToBinary(root.get()).has_value(), depth == kMaxPlistDepth);
    }
}

TEST(Plist, BinaryListsThatExpandOrLoopAreRefused) {
    const std::string small = SharedChildren(10, 2);
    Plist p = ParseBinary(small.data(), small.size());
    ASSERT_TRUE(p);
    EXPECT_EQ(PlistDepth(p.get()), 11);

    const std::string bomb = SharedChildren(40, 2);  // 2^41 nodes from a few hundred bytes
    EXPECT_LT(bomb.size(), 500u);
    EXPECT_FALSE(ParseBinary(bomb.data(), bomb.size()));

    const std::string deep = SharedChildren(kMaxPlistDepth + 5, 1);
    EXPECT_FALSE(ParseBinary(deep.data(), deep.size()));

    const std::string loop = SharedChildren(3, 1, true);
    EXPECT_FALSE(ParseBinary(loop.data(), loop.size()));
}

TEST(Plist, MalformedBinaryIsRefused) {
    std::string good = SharedChildren(2, 1);
    for (std::size_t cut : {std::size_t{0}, std::size_t{9}, good.size() - 1}) {
        EXPECT_FALSE(ParseAny(good.data(), cut)) << cut;
    }
    std::string badOffset = good;
    badOffset[badOffset.size() - 1] = static_cast<char>(0xF0);  // table beyond the data
    EXPECT_FALSE(ParseBinary(badOffset.data(), badOffset.size()));
    std::string badRef = good;
    badRef[9] = 0x55;  // reference to an object that does not exist
    EXPECT_FALSE(ParseBinary(badRef.data(), badRef.size()));
    std::string badTop = good, noRefs = good;
    badTop[badTop.size() - 9] = 3;  // the top object one past the last
    EXPECT_FALSE(ParseBinary(badTop.data(), badTop.size()));
    noRefs[noRefs.size() - 25] = 0;  // references of no bytes
    EXPECT_FALSE(ParseBinary(noRefs.data(), noRefs.size()));
    // A dictionary whose key holds a NUL, which libplist asserts against: in UTF-16 ("a\0"),
    // then in ASCII.
    std::string trailer(32, '\0');
    trailer[6] = trailer[7] = 1, trailer[15] = 3, trailer[31] = 18;
    for (const char *key : {"\x62\x00\x61\x00\x00", "\x54\x61\x00\x62\x63"}) {
        const std::string nul =
            "bplist00\xD1\x01\x02" + std::string(key, 5) + std::string("\x10\x01\x08\x0B\x10", 5) + trailer;
        EXPECT_FALSE(ParseBinary(nul.data(), nul.size()));
    }
    // The same dictionary inside an array.
    trailer[15] = 4, trailer[31] = 20;
    const std::string nested = "bplist00\xA1\x01\xD1\x02\x03" + std::string("\x54\x61\x00\x62\x63", 5) +
                               std::string("\x10\x01\x08\x0A\x0D\x12", 6) + trailer;
    EXPECT_FALSE(ParseBinary(nested.data(), nested.size()));
    // Twenty elements, their count in an integer object of its own, are read.
    plist_t many = plist_new_array();
    for (unsigned i = 0; i < 20; ++i) plist_array_append_item(many, plist_new_uint(i));
    char *bin = nullptr;
    uint32_t length = 0;
    plist_to_bin(many, &bin, &length);
    plist_free(many);
    EXPECT_EQ(plist_array_get_size(ParseBinary(bin, length).get()), 20u);
    std::free(bin);
    // A UTF-16 key without a NUL ("abc") right after objects that hold zero bytes is taken.
    std::string fine = std::string(
        "bplist00\x10\x00\x08\x63\x00"
        "a\x00"
        "b\x00"
        "c\xD1\x02\x00\x08\x0A\x0B\x12",
        25);
    std::string end(32, '\0');
    end[6] = end[7] = 1, end[15] = 4, end[23] = 3, end[31] = 21;
    fine += end;
    Plist dict = ParseBinary(fine.data(), fine.size());
    ASSERT_TRUE(dict);
    EXPECT_EQ(*IntegerValue(DictGet(dict.get(), "abc")), 0);
}

TEST(Plist, StringsAreValidUtf8AndSafeForXml) {
    EXPECT_FALSE(MakeString("\xC3\x28"));
    EXPECT_FALSE(MakeString("\xED\xA0\x80"));  // a surrogate
    EXPECT_EQ(*StringValue(MakeString("a\tb\x01"
                                      "c")
                               .get()),
              "a\tb\xEF\xBF\xBD"
              "c");

    // A node a host made directly with libplist is repaired when written.
    Plist dict = MakeDict();
    plist_dict_set_item(dict.get(), "bad\x02key", plist_new_string("x\x1b[0m\xFF y"));
    const auto xml = ToXml(dict.get());
    ASSERT_TRUE(xml);
    for (char c : *xml) EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' && c != '\r');
    Plist back = ParseXml(xml->data(), xml->size());
    EXPECT_EQ(*StringValue(DictGet(back.get(), "bad\xEF\xBF\xBDkey")), "x\xEF\xBF\xBD[0m\xEF\xBF\xBD y");
}

TEST(Plist, DictSetTransfersAndReplacesWithoutDoubleFree) {
    Plist dict = MakeDict();
    Plist shared = MakeString("v");
    DictSet(dict.get(), "a", Plist::Copy(shared.get()));
    DictSet(dict.get(), "b", Plist::Copy(shared.get()));
    DictSet(dict.get(), "a", MakeInteger(2));
    EXPECT_EQ(*IntegerValue(DictGet(dict.get(), "a")), 2);
    EXPECT_EQ(*StringValue(DictGet(dict.get(), "b")), "v");
    DictSet(dict.get(), "b", Plist());
    EXPECT_EQ(DictGet(dict.get(), "b"), nullptr);
    DictSet(MakeArray().get(), "x", MakeInteger(1));  // not a dictionary: value freed, no effect
}
