// cDrillDown: the drill objects behind the ledger-balance cells of a preview.
//
// While a preview is built, each balance cell registers the drill object
// describing its balance request and gets back a drill key ("DrillItem1",
// "DrillItem2", ..., never reused within one instance). Registrations with the
// same balance signature share the stored copy of the first one's object.
// The host later hands a key to DrillObject and gets the objects to open.
//
// Observable state: the key list `DrillKeys` (children `DrillKey` with Key =
// balance signature, DKey = drill key, Pos = store positions separated by
// ","), and the stored objects (GetAsXML). Every key issued holds one
// position. Signatures are looked up in a hash index; a drill key is looked
// up by its number in an array, so DrillObject costs the same however many
// keys were issued.
//
// A preview registers a cell or two per ledger row and rarely asks for the
// list or the objects afterwards: `DrillKeys` gains its entries, and a chart-
// map object (AddChartMapDrillItem) its element, when they are first asked
// for; what comes out is what building them at once would give.
//
// Threading: one thread.
#ifndef ORVO_DRILL_DOWN_H_
#define ORVO_DRILL_DOWN_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "orvo/collection.h"
#include "orvo/xml.h"

namespace orvo {

class cDrillDown {
 public:
  cDrillDown();
  cDrillDown(const cDrillDown&) = delete;
  cDrillDown& operator=(const cDrillDown&) = delete;

  // The stored drill objects of a drill key (any letter case), in the order
  // of its positions; empty for an unknown key.
  Collection<xml::Node> DrillObject(std::string_view DrillKey) const;
  // Registers a balance cell and returns its new drill key. The signature is
  // CMRepeat followed by the Bal, Year, Prd, PrdEnd and PBal attributes of
  // BalanceDef's first child. A new signature stamps those five values onto
  // DrillObject (DDKFieldBalanceType, DDKFieldBalancePeriods, Prd, PdEnd,
  // PdBal) and stores a deep copy of it. A null BalanceDef raises
  // "AddCMDrillDownItem"/"Balances and Periods out of sync" after the key
  // was drawn, so that key is never issued.
  std::string AddCMDrillDownItem(std::string_view CMRepeat, const xml::Node& DrillObject,
                                 const xml::Node& BalanceDef);
  // AddCMDrillDownItem for a chart-map cell whose drill object is a CMDrill
  // element carrying Folder and Code: the object is made here, and only
  // when the signature is new.
  std::string AddChartMapDrillItem(std::string_view CMRepeat, std::string_view Folder,
                                   std::string_view Code, const xml::Node& BalanceDef);

  // The request of a balance definition (the five values of its first
  // child), read once for the many cells that register it: every row of a
  // repeat asks the same request of a different account.
  class Request {
   public:
    explicit Request(const xml::Node& BalanceDef);

   private:
    friend class cDrillDown;
    std::shared_ptr<const std::array<std::string, 5>> m_values;  // Bal, Year, Prd, PrdEnd, PBal
    std::string m_joined;  // the values one after another, as signatures end
  };
  // AddChartMapDrillItem with the request read beforehand: the same key,
  // list entry and object. A null request stands for a null BalanceDef.
  std::string AddChartMapDrillItem(std::string_view CMRepeat, std::string_view Folder,
                                   std::string_view Code, const Request* request);
  // Always the empty text; changes nothing.
  std::string UpdateCMDrillDownItem(std::string_view SourceDrillKey,
                                    std::string_view DrillKey = {});
  // A detached element named `tagName` holding deep copies of the stored
  // drill objects in store order.
  xml::Node GetAsXML(std::string_view tagName) const;

  // Inspection: the `DrillKeys` element, listing every key issued so far.
  xml::Node DrillKeys() const;

 private:
  using RequestValues = std::array<std::string, 5>;  // Bal, Year, Prd, PrdEnd, PBal
  // A chart-map object not made yet: its folder, code and request values.
  struct ChartMapObject {
    std::string folder;
    std::string code;
    std::shared_ptr<const RequestValues> values;
  };
  // The stored object at position `pos`, made now if it waits.
  const xml::Node& StoredObject(std::int32_t pos) const;
  // Draws the next drill key and issues it for CMRepeat and BalanceDef's
  // request; a new signature stores the object `make_object` makes from the
  // request's values.
  template <typename MakeObject>
  std::string Issue(std::string_view CMRepeat, const xml::Node& BalanceDef,
                    const MakeObject& make_object);
  // The next drill key: "DrillItem" and its number.
  std::string DrawKey();
  // Files the signature in m_signature (complete but for its letter case):
  // the position of an earlier entry, or 0 when it is new.
  std::int32_t KnownPosition();
  // Stores a new signature's object at the next position; returns it.
  std::int32_t Store(xml::Node object);
  // Gives the latest drill key the position.
  void Assign(std::int32_t pos);

  xml::Document m_document;  // owns DrillKeys and the store
  mutable xml::Node m_drill_keys;
  mutable std::int64_t m_listed = 0;  // DrillItem 1 to m_listed are in DrillKeys
  std::int64_t m_counter = 0;
  // Position n at [n - 1]; a chart-map object waits as a null node with its
  // description at the same place of m_waiting.
  mutable std::vector<xml::Node> m_store;
  std::vector<ChartMapObject> m_waiting;
  std::unordered_map<std::string, std::int32_t> m_pos_by_signature;  // first entry's Pos
  std::vector<const std::string*> m_signature_of_pos;                // keys of m_pos_by_signature
  std::vector<std::int32_t> m_position_of_item;  // Pos of DrillItem n at [n - 1]; 0: none
  // The request values of the latest waiting object, for the next to share.
  std::shared_ptr<const RequestValues> m_last_values;
  std::string m_signature;  // the signature being issued; keeps its storage
};

}  // namespace orvo

#endif  // ORVO_DRILL_DOWN_H_
