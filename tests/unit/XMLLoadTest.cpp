// The strict loader: well-formed XML 1.0 loads, anything else raises
// EXMLError, whatever pugixml alone would have let through.

#include <gtest/gtest.h>

#include <string>

#include "protocol/uXMLCheck.h"
#include "protocol/uXMLHelpers.h"

namespace lumaren {
namespace {

struct TLoadCase {
  const char* why;
  std::string text;
};

TEST(XMLLoad, RefusesWhatIsNotWellFormed) {
  const TLoadCase cases[] = {
      // Structure
      {"empty text", ""},
      {"blanks only", " \r\n\t"},
      {"declaration only", "<?xml version=\"1.0\"?>"},
      {"comment only", "<!-- c -->"},
      {"text only", "hello"},
      {"two roots", "<a/><b/>"},
      {"text after the root", "<a>x</a>junk"},
      {"text before the root", "junk<a/>"},
      {"reference after the root", "<a/>&amp;"},
      {"CDATA outside the root", "<a/><![CDATA[x]]>"},
      {"unclosed root", "<a>"},
      {"unclosed child", "<a><b></a>"},
      {"crossed tags", "<a><b></a></b>"},
      {"end tag only", "</a>"},
      {"wrong end tag", "<a></b>"},
      {"end tag case", "<a></A>"},
      {"truncated tag", "<a"},
      {"truncated end tag", "<a></a"},
      {"name starts with a digit", "<1a/>"},
      {"name starts with a dash", "<-a/>"},
      {"multiplication sign in a name", "<a\xC3\x97/>"},
      {"space before the name", "< a/>"},
      {"bang element", "<!a/>"},
      {"DOCTYPE after the root", "<a/><!DOCTYPE a>"},
      {"DOCTYPE inside the root", "<a><!DOCTYPE a></a>"},
      {"two DOCTYPEs", "<!DOCTYPE a><!DOCTYPE a><a/>"},
      {"lower-case doctype", "<!doctype a><a/>"},
      // Attributes
      {"duplicate attribute", "<a b='1' b='2'/>"},
      {"duplicate attribute far apart", "<a b='1' c='2' d='3' b='4'/>"},
      {"unquoted value", "<a b=1/>"},
      {"no value", "<a b/>"},
      {"no space between attributes", "<a b='1'c='2'/>"},
      {"mixed quotes", "<a b='1\"/>"},
      {"< in a value", "<a b='<'/>"},
      {"bare & in a value", "<a b='x & y'/>"},
      {"unterminated value", "<a b='1/>"},
      // Text and references
      {"bare & in text", "<a>x & y</a>"},
      {"& at the end", "<a>&</a>"},
      {"reference without ;", "<a>&amp</a>"},
      {"undeclared entity", "<a>&foo;</a>"},
      {"entity declared in the DOCTYPE is not expanded", "<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>"},
      {"undeclared entity in a value", "<a b='&foo;'/>"},
      {"]]> in text", "<a>x]]>y</a>"},
      {"reference to NUL", "<a>&#0;</a>"},
      {"reference to NUL in hex", "<a>&#x0;</a>"},
      {"reference to a C0 control", "<a>&#1;</a>"},
      {"reference to ESC", "<a b='&#x1B;'/>"},
      {"reference to a surrogate", "<a>&#xD800;</a>"},
      {"reference to U+FFFE", "<a>&#xFFFE;</a>"},
      {"reference to U+FFFF", "<a>&#65535;</a>"},
      {"reference above U+10FFFF", "<a>&#x110000;</a>"},
      {"reference far above U+10FFFF", "<a>&#x100000000041;</a>"},
      {"upper-case X in a reference", "<a>&#X41;</a>"},
      {"reference without digits", "<a>&#;</a>"},
      {"hex reference without digits", "<a>&#x;</a>"},
      {"letters in a decimal reference", "<a>&#1a;</a>"},
      // Comments, PIs, CDATA
      {"-- inside a comment", "<a><!-- x -- y --></a>"},
      {"comment ending in ---", "<a><!-- x ---></a>"},
      {"unterminated comment", "<a><!-- x </a>"},
      {"unterminated CDATA", "<a><![CDATA[x</a>"},
      {"unterminated PI", "<a><?pi x</a>"},
      {"PI named xml inside", "<a><?xml version='1.0'?></a>"},
      {"PI named XML", "<?XML version='1.0'?><a/>"},
      {"PI without target", "<?  ?><a/>"},
      {"PI target glued to data", "<?pi\xC3\x97" "data?><a/>"},
      // The declaration
      {"declaration after a blank", " <?xml version='1.0'?><a/>"},
      {"declaration after a comment", "<!--c--><?xml version='1.0'?><a/>"},
      {"two declarations", "<?xml version='1.0'?><?xml version='1.0'?><a/>"},
      {"declaration without version", "<?xml encoding='UTF-8'?><a/>"},
      {"version 2.0", "<?xml version='2.0'?><a/>"},
      {"version 1.", "<?xml version='1.'?><a/>"},
      {"encoding before version", "<?xml encoding='UTF-8' version='1.0'?><a/>"},
      {"bad encoding name", "<?xml version='1.0' encoding='8bit'?><a/>"},
      {"standalone maybe", "<?xml version='1.0' standalone='maybe'?><a/>"},
      {"unknown pseudo-attribute", "<?xml version='1.0' lang='en'?><a/>"},
      {"no space between pseudo-attributes", "<?xml version='1.0'encoding='UTF-8'?><a/>"},
      {"upper-case declaration", "<?XML version='1.0'?><a/>"},
      // DOCTYPE syntax
      {"unterminated DOCTYPE", "<!DOCTYPE a [<a/>"},
      {"parameter-entity reference", "<!DOCTYPE a [<!ENTITY % p 'x'> %p;]><a/>"},
      {"% in an entity value", "<!DOCTYPE a [<!ENTITY e '%p;'>]><a/>"},
      {"bad element declaration", "<!DOCTYPE a [<!ELEMENT a (b|c,d)>]><a/>"},
      {"unknown declaration", "<!DOCTYPE a [<!FOO a>]><a/>"},
      {"bad attribute type", "<!DOCTYPE a [<!ATTLIST a b STRING #IMPLIED>]><a/>"},
      {"< in an attribute default", "<!DOCTYPE a [<!ATTLIST a b CDATA '<'>]><a/>"},
      {"bad public id", "<!DOCTYPE a PUBLIC 'a{b}' 'x.dtd'><a/>"},
      {"public id without system literal", "<!DOCTYPE a PUBLIC 'x'><a/>"},
      {"text in the internal subset", "<!DOCTYPE a [ hello ]><a/>"},
      // Bytes
      {"invalid UTF-8 lead byte", "<a>\xFF</a>"},
      {"lone continuation byte", "<a>\x80</a>"},
      {"overlong slash", "<a>\xC0\xAF</a>"},
      {"overlong three-byte", "<a>\xE0\x80\xAF</a>"},
      {"encoded surrogate", "<a>\xED\xA0\x80</a>"},
      {"above U+10FFFF", "<a>\xF4\x90\x80\x80</a>"},
      {"truncated sequence", "<a>\xE2\x82</a>"},
      {"truncated at the end", "<a/>\xE2\x82"},
      {"Latin-1 byte", "<a>caf\xE9</a>"},
      {"raw NUL", std::string("<a>x\0y</a>", 10)},
      {"raw NUL after the root", std::string("<a/>\0", 5)},
      {"raw C0 control", "<a>\x01</a>"},
      {"raw U+FFFF", "<a>\xEF\xBF\xBF</a>"},
      {"UTF-16 text", std::string("<\0a\0/\0>\0", 8)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    pugi::xml_document doc;
    EXPECT_THROW(LoadXMLText(doc, c.text), EXMLError);
    EXPECT_FALSE(doc.document_element());  // nothing half-loaded is left behind
  }
}

TEST(XMLLoad, AcceptsWellFormedEdgeCases) {
  const TLoadCase cases[] = {
      {"smallest document", "<a/>"},
      {"declaration with everything", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?><a/>"},
      {"declaration claiming another encoding", "<?xml version='1.0' encoding='ISO-8859-1'?><a>\xC3\xA9</a>"},
      {"declaration claiming UTF-16", "<?xml version='1.0' encoding='UTF-16'?><a/>"},
      {"version 1.1 numbering", "<?xml version='1.10'?><a/>"},
      {"blanks around =", "<?xml version = '1.0' ?><a b = \"1\" />"},
      {"byte-order mark", "\xEF\xBB\xBF<a/>"},
      {"byte-order mark and declaration", "\xEF\xBB\xBF<?xml version='1.0'?><a/>"},
      {"comments and PIs after the root", "<a/><!-- c --><?pi data?>\r\n  <!---->"},
      {"comments and PIs before the root", "<?xml version='1.0'?>\n<!--c--><?xml-stylesheet href='s'?><a/>"},
      {"PI named xml-something", "<a><?xml-x?></a>"},
      {"comment with single dashes", "<a><!-- a - b -c- --></a>"},
      {"CDATA with markup", "<a><![CDATA[<b> & ]] ]> &amp;]]></a>"},
      {"empty CDATA", "<a><![CDATA[]]></a>"},
      {"predefined entities", "<a b='&lt;&gt;&amp;&apos;&quot;'>&lt;&gt;&amp;&apos;&quot;</a>"},
      {"character references", "<a>&#65;&#x42;&#x10FFFF;&#9;&#xD;&#xa;&#0000065;</a>"},
      {"> and ]] in text", "<a>x > y ]] z ]></a>"},
      {"multibyte text", "<a>\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 \xE4\xB8\xAD</a>"},
      {"multibyte names", "<\xC3\xA9l\xC3\xA9ment \xE4\xB8\xAD='1'/>"},
      {"colon and dots in names", "<a:b c.d-e='1' _f='2'/>"},
      {"quotes of the other kind inside", "<a b=\"it's\" c='say \"hi\"'/>"},
      {"> in a value", "<a b='>'/>"},
      {"line ends inside a tag", "<a\r\n b='1'\r\n/>"},
      {"blank before the end of an end tag", "<a></a \n>"},
      {"nested elements", "<a><b><c/></b><b/></a>"},
      {"same attribute on different elements", "<a b='1'><c b='2'/></a>"},
      {"DOCTYPE alone", "<!DOCTYPE a><a/>"},
      {"DOCTYPE with system id", "<!DOCTYPE a SYSTEM 'http://example.invalid/a.dtd'><a/>"},
      {"DOCTYPE with public id", "<!DOCTYPE a PUBLIC '-//X//DTD Y//EN' 'a.dtd'><a/>"},
      {"DOCTYPE with an internal subset",
       "<!DOCTYPE a [\n"
       "  <!ELEMENT a (b | c)*>\n"
       "  <!ELEMENT b (#PCDATA)>\n"
       "  <!ELEMENT c (#PCDATA | b)*>\n"
       "  <!ELEMENT d ((a, b?)+ | c*)>\n"
       "  <!ELEMENT e EMPTY>\n"
       "  <!ELEMENT f ANY>\n"
       "  <!ATTLIST a x CDATA #IMPLIED y (one|two) 'one' z ID #REQUIRED w NOTATION (n) #FIXED 'n'>\n"
       "  <!ATTLIST b v IDREFS #IMPLIED t NMTOKENS #IMPLIED>\n"
       "  <!ENTITY e \"<b>x</b> &amp; &other; &#65;\">\n"
       "  <!ENTITY % p 'param'>\n"
       "  <!ENTITY u SYSTEM 'u.bin' NDATA n>\n"
       "  <!NOTATION n PUBLIC 'n'>\n"
       "  <!-- ] > -->\n"
       "  <?pi ]>?>\n"
       "]>\n"
       "<a z='1'/>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    pugi::xml_document doc;
    EXPECT_NO_THROW(LoadXMLText(doc, c.text));
    EXPECT_TRUE(doc.document_element());
  }
}

// The checker keeps its open elements on a list of its own, so nesting depth
// is limited by memory, not by the call stack.
TEST(XMLLoad, DeepNesting) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "<d>";
  for (int i = 0; i < 100000; ++i) text += "</d>";
  pugi::xml_document doc;
  EXPECT_NO_THROW(LoadXMLText(doc, text));
  text.resize(text.size() - 4);
  EXPECT_THROW(LoadXMLText(doc, text), EXMLError);
  std::string model = "<!DOCTYPE d [<!ELEMENT d " + std::string(100000, '(') + "x" + std::string(100000, ')') + ">]><d/>";
  EXPECT_NO_THROW(LoadXMLText(doc, model));
}

TEST(XMLLoad, ContentComesThroughDecoded) {
  pugi::xml_document doc;
  LoadXMLText(doc,
              "<?xml version='1.0' encoding='windows-1252'?>\n"
              "<r a='x&#xD;y' b='p\r\nq\tr' c='&amp;#xD;'>caf\xC3\xA9 &lt;&#x20AC;&gt;<![CDATA[&amp;]]></r>");
  const TXMLNode r = doc.document_element();
  EXPECT_STREQ(r.attribute("a").value(), "x\ry");  // a character reference is kept as written
  EXPECT_STREQ(r.attribute("b").value(), "p q r");  // literal white space is normalised
  EXPECT_STREQ(r.attribute("c").value(), "&#xD;");
  EXPECT_EQ(GetXMLNode(doc, "r", ""), "caf\xC3\xA9 <\xE2\x82\xAC>&amp;");
}

TEST(XMLLoad, LoadingReplacesThePreviousContent) {
  pugi::xml_document doc;
  LoadXMLText(doc, "<first/>");
  EXPECT_THROW(LoadXMLText(doc, "<second>"), EXMLError);
  EXPECT_FALSE(doc.first_child());
  LoadXMLText(doc, "<third/>");
  EXPECT_STREQ(doc.document_element().name(), "third");
}

TEST(XMLLoad, ErrorNamesThePlace) {
  pugi::xml_document doc;
  try {
    LoadXMLText(doc, "<a><b></a>");
    FAIL() << "loaded";
  } catch (const EXMLError& e) {
    EXPECT_NE(std::string(e.what()).find("byte 6"), std::string::npos) << e.what();
  }
}

TEST(XMLLoad, NameAndTextChecks) {
  struct Case {
    std::string name;
    bool valid;
  };
  const Case names[] = {{"a", true},        {"Message", true}, {"_x", true},  {"a:b", true},
                        {"a-1.2", true},    {"\xC3\xA9", true}, {"", false},   {"1a", false},
                        {"-a", false},      {"a b", false},    {"a<", false},  {"a\xC3\x97", false},
                        {"\xFF", false}};
  for (const auto& c : names) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsXMLName(c.name), c.valid);
  }
  EXPECT_TRUE(IsXMLText("tab\tcr\rlf\n \xE2\x82\xAC"));
  EXPECT_TRUE(IsXMLText(""));
  EXPECT_FALSE(IsXMLText("\x1F"));
  EXPECT_FALSE(IsXMLText("\xC3"));
}

}  // namespace
}  // namespace lumaren
