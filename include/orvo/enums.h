// Enumerations of the public interface, with the names and values hosts compile against.
#ifndef ORVO_ENUMS_H_
#define ORVO_ENUMS_H_

#include <cstdint>

namespace orvo {

enum eRepeatType : std::int32_t {
  rptTypeNone = 0,
  rptTypeChartMap = 1,
  rptTypeDatabaseMap = 2,
  rptTypeOther = 3,
};

enum eConditionSwitch : std::int32_t {
  showAlways = 0,
  showNever = 1,
  showOnCondition = 2,
};

// The first member is spelled as hosts know it.
enum EProcessingMode : std::int32_t {
  enmSychronous = 0,
  enmAsynchronous = 1,
};

}  // namespace orvo

#endif  // ORVO_ENUMS_H_
