// Writing elements and attributes, serialising, and reading the result back
// through a real text round trip.

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>

#include "protocol/uXMLHelpers.h"

namespace lumaren {
namespace {

class XMLWriters : public ::testing::Test {
 protected:
  void SetUp() override {
    NewXMLDocument(FDoc);
    FRoot = FDoc.append_child("r");
  }
  // Serialises, parses the text again and returns the new root.
  TXMLNode Reload() {
    FText = SaveXMLText(FDoc);
    LoadXMLText(FReloaded, FText);
    return FReloaded.document_element();
  }
  pugi::xml_document FDoc;
  pugi::xml_document FReloaded;
  TXMLNode FRoot;
  std::string FText;
};

TEST_F(XMLWriters, DocumentTextHasTheDeclarationAndIndentation) {
  TXMLNode child = AddXMLElement(FRoot, "Child");
  AddXMLAtt(child, "A", 1);
  AddXMLNode(FRoot, "Text", "v");
  EXPECT_EQ(SaveXMLText(FDoc),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<r>\n"
            "  <Child A=\"1\" />\n"
            "  <Text>v</Text>\n"
            "</r>\n");
}

TEST_F(XMLWriters, SavedTextAlwaysDeclaresUTF8) {
  pugi::xml_document loaded;
  LoadXMLText(loaded, "<?xml version='1.0' encoding='ISO-8859-1'?><r/>");
  EXPECT_EQ(SaveXMLText(loaded).rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u);
}

TEST_F(XMLWriters, AttributesKeepTheOrderOfTheCalls) {
  AddXMLAtt(FRoot, "Zeta", 1);
  AddXMLAtt(FRoot, "Alpha", std::string("a"));
  AddXMLAtt(FRoot, "Mid", true);
  AddXMLAtt(FRoot, "Col", TColorValue{255});
  TXMLNode root = Reload();
  std::string names;
  for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute()) names += std::string(a.name()) + " ";
  EXPECT_EQ(names, "Zeta Alpha Mid Col ");
}

TEST_F(XMLWriters, ValueForms) {
  AddXMLAtt(FRoot, "T", true);
  AddXMLAtt(FRoot, "F", false);
  AddXMLAtt(FRoot, "I", std::int32_t{-1965});
  AddXMLAtt(FRoot, "Min", INT32_MIN);
  AddXMLAtt(FRoot, "C", TColorValue{255});
  AddXMLAtt(FRoot, "None", TColorValue{clNone});
  AddXMLAtt(FRoot, "S", "a\r\nb");
  AddXMLAtt(FRoot, "Empty", "");
  const TXMLNode root = Reload();
  struct Case {
    const char* name;
    const char* raw;
  };
  const Case cases[] = {{"T", "-1"},      {"F", "0"},      {"I", "-1965"}, {"Min", "-2147483648"},
                        {"C", "FF0000"},  {"None", "FFFFFF"}, {"S", "a&#xD;b"}, {"Empty", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(root.attribute(c.name));  // an empty string still makes the attribute
    EXPECT_STREQ(root.attribute(c.name).value(), c.raw);
  }
  // The serialiser escapes the ampersand of the line-break sequence.
  EXPECT_NE(FText.find("S=\"a&amp;#xD;b\""), std::string::npos);
  EXPECT_EQ(GetXMLAtt(root, "S", ""), "a\r\nb");
  EXPECT_TRUE(GetXMLAtt(root, "T", false));
  EXPECT_FALSE(GetXMLAtt(root, "F", true));
  EXPECT_EQ(GetXMLAtt(root, "Min", 0), INT32_MIN);
}

TEST_F(XMLWriters, TextRoundTrip) {
  // Values a reader must get back exactly as they were written.
  const std::string values[] = {
      "One\r\nTwo",
      "\r\n\r\n",
      "lone\nfeed",
      "tab\there",
      "  spaces around  ",
      "<tag> & \"quotes\" 'apos' ]]> &#13; &amp;",
      "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",  // multibyte UTF-8
      // XML turns a raw CR in text into LF, so the serialiser writes it as
      // a reference, in element text as in attributes.
      "lone\rreturn",
      "\r",
      "\n\r",
      // Text of white space alone is text, not indentation.
      " ",
      "\n",
      "\t \r\n",
  };
  int i = 0;
  for (const auto& v : values) {
    const std::string n = std::to_string(i++);
    AddXMLAtt(FRoot, "a" + n, v);
    AddXMLNode(FRoot, "e" + n, v);
  }
  // The five characters "&#xD;" themselves cannot travel: they are the
  // protocol's own sign for CR LF.
  AddXMLAtt(FRoot, "sign", "&#xD;");
  const TXMLNode root = Reload();
  i = 0;
  for (const auto& v : values) {
    SCOPED_TRACE(v);
    const std::string n = std::to_string(i++);
    EXPECT_EQ(GetXMLAtt(root, "a" + n, "?"), v);
    EXPECT_EQ(GetXMLNode(root, "e" + n, "?"), v);
  }
  EXPECT_EQ(GetXMLAtt(root, "sign", "?"), "\r\n");
}

TEST_F(XMLWriters, AddXMLNodeForms) {
  EXPECT_TRUE(AddXMLNode(FRoot, "I", -5));
  EXPECT_TRUE(AddXMLNode(FRoot, "S", std::string("x")));
  EXPECT_FALSE(AddXMLNode(FRoot, "Empty", std::string()));
  EXPECT_FALSE(AddXMLNode(FRoot, "EmptyC", ""));
  EXPECT_FALSE(AddXMLNode(FRoot, "Null", static_cast<const char*>(nullptr)));
  const TXMLNode root = Reload();
  EXPECT_EQ(GetXMLNode(root, "I", 0), -5);
  EXPECT_EQ(GetXMLNode(root, "S", ""), "x");
  EXPECT_FALSE(root.child("Empty"));  // nothing was added
  EXPECT_FALSE(root.child("EmptyC"));
  EXPECT_FALSE(root.child("Null"));
}

TEST_F(XMLWriters, IntegerNodeSwallowsErrors) {
  EXPECT_FALSE(AddXMLNode(TXMLNode(), "I", 1));   // no parent
  EXPECT_FALSE(AddXMLNode(FRoot, "1bad", 1));     // not an XML name
  EXPECT_FALSE(AddXMLNode(FRoot, "", 1));
  EXPECT_FALSE(FRoot.first_child());
}

TEST_F(XMLWriters, OtherWritersLetErrorsThrough) {
  EXPECT_THROW(AddXMLNode(TXMLNode(), "S", "x"), EXMLError);
  EXPECT_THROW(AddXMLNode(FRoot, "bad name", "x"), EXMLError);
  EXPECT_THROW(AddXMLAtt(TXMLNode(), "A", 1), EXMLError);
  EXPECT_THROW(AddXMLAtt(FRoot, "", 1), EXMLError);
  EXPECT_THROW(AddXMLAtt(FRoot, "a<b", "x"), EXMLError);
  EXPECT_THROW(AddXMLElement(FRoot, "x y"), EXMLError);
  EXPECT_THROW(AddXMLElement(TXMLNode(), "x"), EXMLError);
  // A negative colour is refused before anything is added.
  EXPECT_THROW(AddXMLAtt(FRoot, "C", TColorValue{-16}), std::range_error);
  EXPECT_FALSE(FRoot.attribute("C"));
  EXPECT_FALSE(FRoot.first_child());
}

TEST_F(XMLWriters, RefusesWhatWouldMakeTheDocumentUnreadable) {
  AddXMLAtt(FRoot, "A", 1);
  // A second attribute of one name would make the document ill-formed.
  EXPECT_THROW(AddXMLAtt(FRoot, "A", 2), EXMLError);
  // Characters XML 1.0 cannot carry, and bytes that are not UTF-8.
  for (const std::string& bad : {std::string("a\x01" "b"), std::string("a\0b", 3), std::string("\xFF"),
                                std::string("\xEF\xBF\xBF")}) {
    SCOPED_TRACE(bad.size());
    EXPECT_THROW(AddXMLAtt(FRoot, "B", bad), EXMLError);
    EXPECT_THROW(AddXMLNode(FRoot, "E", bad), EXMLError);
  }
  EXPECT_FALSE(FRoot.attribute("B"));
  EXPECT_FALSE(FRoot.child("E"));
  // What was written still loads.
  EXPECT_EQ(GetXMLAtt(Reload(), "A", 0), 1);
}

TEST_F(XMLWriters, NewDocumentStartsEmpty) {
  AddXMLAtt(FRoot, "A", 1);
  NewXMLDocument(FDoc);
  EXPECT_FALSE(FDoc.document_element());
  EXPECT_EQ(SaveXMLText(FDoc), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
}

}  // namespace
}  // namespace lumaren
