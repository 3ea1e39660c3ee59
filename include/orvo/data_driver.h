// The accounting data driver, as the library calls it: a command factory that
// creates commands by function name; a command's definition carries filters;
// Execute answers an XML element.
//
//   auto command = factory->CreateCommand(0, "AccountValue_DDKFunction");
//   command->definition().Filters().Clear();
//   command->definition().Filters().Add("#1", std::nullopt, "CODE", "4000");
//   xml::Node answer = command->Execute();
//
// Function names end in "_DDKFunction"; driver field names begin with
// "DDKField". A host may substitute its own driver by registering a storage
// provider whose XML-node storage provider hands out its own factory.
#ifndef ORVO_DATA_DRIVER_H_
#define ORVO_DATA_DRIVER_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "orvo/xml.h"

namespace orvo {

// A filter value: one text, or an array of texts (the repeating-balance
// filters pass arrays keyed by field).
using FilterValue = std::variant<std::string, std::vector<std::string>>;

class ICommandFilters {
 public:
  virtual ~ICommandFilters() = default;

  virtual void Clear() = 0;
  // Add(key, option, field, value, mode, extra). `option`, `mode` and `extra`
  // are "nothing" (nullopt) or a number (the library passes 0, 2 and 0).
  virtual void Add(const std::string& key, std::optional<std::int32_t> option,
                   const std::string& field, const FilterValue& value,
                   std::optional<std::int32_t> mode = std::nullopt,
                   std::optional<std::int32_t> extra = std::nullopt) = 0;
};

class ICommandDefinition {
 public:
  virtual ~ICommandDefinition() = default;
  virtual ICommandFilters& Filters() = 0;
};

class ICommand {
 public:
  virtual ~ICommand() = default;
  virtual ICommandDefinition& definition() = 0;
  // Runs the function with the current filters. The answer is an element
  // read through its attributes or children; a null node means "Nothing".
  virtual xml::Node Execute() = 0;
};

class ICommandFactory {
 public:
  virtual ~ICommandFactory() = default;
  // `kind` is 0 for every command the library creates. An unknown function
  // name raises a failure naming it.
  virtual std::shared_ptr<ICommand> CreateCommand(std::int32_t kind, const std::string& name) = 0;
};

}  // namespace orvo

#endif  // ORVO_DATA_DRIVER_H_
