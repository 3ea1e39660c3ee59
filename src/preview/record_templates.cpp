#include "preview/record_templates.h"

#include <string>

namespace orvo {
namespace {

constexpr std::array<std::string_view, kRecordKindCount> kTemplateTexts = {
    "PgB Row='' Bottom='' Left='' Right='' Top='' OR=''",
    "SF Start='' End='' Col='' Width='' Portscape=''",
    "Sect Start='' End='' Key=''",
    "EPRC Fmt='' Key='' Value='' RptKey='' RptIndex=''",
    "NR Name='' Fmt='' Value=''",
    "Dep Key=''",
    "Row Del='-1' Keep='-1'",
    "RowIgn OrigFmt='' OrigRow='' RptIndex=''",
    "Col ID=''",
    "Key Year='' Prd='' PrdEnd='' PBal='' Bal=''",
    "DepData DSI='' DRpt=''",
};

}  // namespace

std::string_view RecordTemplateText(RecordKind kind) {
  return kTemplateTexts.at(static_cast<std::size_t>(kind));
}

RecordTemplates::RecordTemplates() : m_scratch(xml::Document::Create()) {
  for (std::size_t i = 0; i < kRecordKindCount; ++i) {
    const std::string text = "<" + std::string(kTemplateTexts[i]) + "/>";
    xml::Document parsed = xml::Document::Parse(text);
    m_templates[i] = m_scratch.ImportNode(parsed.DocumentElement(), true);
  }
}

xml::Node RecordTemplates::Template(RecordKind kind) const {
  return m_templates.at(static_cast<std::size_t>(kind));
}

xml::Node RecordTemplates::NewRecord(RecordKind kind) const {
  return Template(kind).CloneNode(true);
}

xml::Node RecordTemplates::NewContainer(std::string_view name) const {
  return m_scratch.CreateElement(name);
}

}  // namespace orvo
