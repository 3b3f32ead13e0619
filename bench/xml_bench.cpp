// Parse throughput of the project's XML reader next to four widely used parsers.
//
// Every library parses the same in-memory documents; each iteration builds the
// library's tree (expat: a SAX pass with no-op handlers, so it builds nothing and
// is a lower bound) and tears it down again, so that freeing counts for everyone.
// Throughput is reported through SetBytesProcessed (bytes of document per second).

#include <benchmark/benchmark.h>
#include <expat.h>
#include <libxml/parser.h>
#include <pugixml.hpp>
#include <tinyxml2.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "xml/xml.h"

namespace {

// --- Documents -------------------------------------------------------------

// The package configuration that ships next to the program.
std::string PackageConfig() {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<nic_fw_package version=\"1.0\">\n"
         "  <nic name=\"P3P group\">\n"
         "    <nic name=\"REdevi P3P 2-port\" venid=\"3F1D\" devid=\"0C4A\" "
         "subvenid=\"6B2E\" subdevid=\"2A7D\" rom=\"4.0.534\" fwFile=\"p3pfw.bin\"/>\n"
         "  </nic>\n"
         "</nic_fw_package>\n";
}

// The NIC list that the flash tool writes, one <device> per adapter.
std::string NicList(int adapters) {
  std::string doc = "<nic_list>\n<type>REDEVI_NIC</type>\n<devices>\n";
  for (int i = 0; i < adapters; ++i) {
    const std::string n = std::to_string(i + 1);
    char mac[32];
    std::snprintf(mac, sizeof mac, "02-11-22-33-44-%02X", 0x40 + i);
    doc += "<device><device_id>NIC " + n + "</device_id><busnumber>" +
           std::to_string(5 + i / 2) + "</busnumber><devicenumber>0</devicenumber><funcnumber>" +
           std::to_string(i % 2) +
           "</funcnumber><venid>3F1D</venid><devid>0C4A</devid><subvenid>6B2E</subvenid>"
           "<subdevid>2A7D</subdevid><macaddress>" +
           mac +
           "</macaddress><product_id>P3P Q4T</product_id><shared>NO</shared>"
           "<fw_item type=\"rom\"><firmware_id>4.0.520</firmware_id><version>4.0.520</version>"
           "<action>update</action><duration>60</duration><message>ok</message></fw_item>"
           "</device>\n";
  }
  doc += "</devices>\n</nic_list>\n";
  return doc;
}

// Many small elements with attributes: groups of 16 items, each an empty element
// with five attributes (one value holds an entity).
std::string ManySmallElements(size_t target) {
  std::string doc;
  doc.reserve(target + 4096);
  doc += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<inventory>\n";
  for (uint32_t group = 0; doc.size() < target; ++group) {
    doc += " <group id=\"" + std::to_string(group) + "\">\n";
    for (int i = 0; i < 16; ++i) {
      const std::string id = std::to_string(group * 16 + i);
      doc += "  <item id=\"" + id + "\" name=\"adapter " + id +
             "\" venid=\"3F1D\" devid=\"0C4A\" note=\"fast &amp; safe\"/>\n";
    }
    doc += " </group>\n";
  }
  doc += "</inventory>\n";
  return doc;
}

// Long texts: paragraphs of about 4 KB of words with an occasional entity.
std::string LongTexts(size_t target) {
  static const char* const kWords[] = {"firmware", "adapter", "update", "version", "the",
                                       "flash",    "tool",    "reboot", "é",       "あ"};
  std::string doc;
  doc.reserve(target + 8192);
  doc += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<log>\n";
  uint32_t state = 12345;
  for (uint32_t para = 0; doc.size() < target; ++para) {
    doc += "<para n=\"" + std::to_string(para) + "\">";
    const size_t end = doc.size() + 4000;
    while (doc.size() < end) {
      state = state * 1103515245u + 12345u;
      doc += kWords[(state >> 16) % 10];
      doc += ((state >> 8) % 29 == 0) ? " &amp; " : " ";
    }
    doc += "</para>\n";
  }
  doc += "</log>\n";
  return doc;
}

// --- One parse per library ----------------------------------------------------

void ParseOurs(benchmark::State& state, const std::string* doc) {
  for (auto _ : state) {
    XmlParseResult result{};
    XmlElement root = parseXmlText(doc->c_str(), nullptr, &result);
    if (root.isNull() || result.code != 0) {
      state.SkipWithError("parse failed");
      break;
    }
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->size()));
}

void ParsePugixml(benchmark::State& state, const std::string* doc) {
  for (auto _ : state) {
    pugi::xml_document tree;
    if (!tree.load_buffer(doc->data(), doc->size())) {
      state.SkipWithError("parse failed");
      break;
    }
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->size()));
}

void ParseTinyxml2(benchmark::State& state, const std::string* doc) {
  for (auto _ : state) {
    tinyxml2::XMLDocument tree;
    if (tree.Parse(doc->data(), doc->size()) != tinyxml2::XML_SUCCESS) {
      state.SkipWithError("parse failed");
      break;
    }
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->size()));
}

// tinyxml2 leaves entity decoding and line-end handling of every text and
// attribute value until the value is first read; this variant reads them all,
// which is the work the other libraries do while parsing.
class ReadEverything : public tinyxml2::XMLVisitor {
 public:
  bool VisitEnter(const tinyxml2::XMLElement& element,
                  const tinyxml2::XMLAttribute* attribute) override {
    for (; attribute != nullptr; attribute = attribute->Next()) Touch(attribute->Value());
    Touch(element.Name());
    return true;
  }
  bool Visit(const tinyxml2::XMLText& text) override {
    Touch(text.Value());
    return true;
  }
  size_t bytes() const { return bytes_; }

 private:
  void Touch(const char* value) { bytes_ += value[0] != '\0' ? 1 : 0; }
  size_t bytes_ = 0;
};

void ParseTinyxml2Read(benchmark::State& state, const std::string* doc) {
  for (auto _ : state) {
    tinyxml2::XMLDocument tree;
    if (tree.Parse(doc->data(), doc->size()) != tinyxml2::XML_SUCCESS) {
      state.SkipWithError("parse failed");
      break;
    }
    ReadEverything reader;
    tree.Accept(&reader);
    benchmark::DoNotOptimize(reader.bytes());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->size()));
}

void ParseLibxml2(benchmark::State& state, const std::string* doc) {
  for (auto _ : state) {
    xmlDocPtr tree = xmlReadMemory(doc->data(), static_cast<int>(doc->size()), "bench.xml",
                                   nullptr, XML_PARSE_NONET | XML_PARSE_HUGE);
    if (tree == nullptr) {
      state.SkipWithError("parse failed");
      break;
    }
    xmlFreeDoc(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->size()));
}

void XMLCALL NoStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL NoEnd(void*, const XML_Char*) {}
void XMLCALL NoText(void*, const XML_Char*, int) {}

void ParseExpat(benchmark::State& state, const std::string* doc) {
  for (auto _ : state) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetElementHandler(parser, NoStart, NoEnd);
    XML_SetCharacterDataHandler(parser, NoText);
    const bool ok =
        XML_Parse(parser, doc->data(), static_cast<int>(doc->size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    if (!ok) {
      state.SkipWithError("parse failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc->size()));
}

struct Document {
  const char* name;
  std::string text;
};

struct Library {
  const char* name;
  void (*parse)(benchmark::State&, const std::string*);
};

}  // namespace

int main(int argc, char** argv) {
  xmlInitParser();
  constexpr size_t kMB = 1000 * 1000;
  // Built once; the benchmarks hold pointers into this vector, which is not resized.
  std::vector<Document> documents;
  documents.push_back({"config", PackageConfig()});
  documents.push_back({"niclist16", NicList(16)});
  documents.push_back({"attrs_1MB", ManySmallElements(1 * kMB)});
  documents.push_back({"attrs_50MB", ManySmallElements(50 * kMB)});
  documents.push_back({"texts_1MB", LongTexts(1 * kMB)});
  documents.push_back({"texts_50MB", LongTexts(50 * kMB)});

  const Library libraries[] = {{"ours", ParseOurs},
                               {"pugixml", ParsePugixml},
                               {"tinyxml2", ParseTinyxml2},
                               {"tinyxml2_read", ParseTinyxml2Read},
                               {"libxml2", ParseLibxml2},
                               {"expat", ParseExpat}};

  for (const Document& doc : documents) {
    for (const Library& lib : libraries) {
      const std::string name = std::string("parse/") + doc.name + "/" + lib.name;
      auto* bench = benchmark::RegisterBenchmark(name.c_str(), lib.parse, &doc.text);
      bench->Unit(doc.text.size() > kMB ? benchmark::kMillisecond : benchmark::kMicrosecond);
    }
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  xmlCleanupParser();
  return 0;
}
