// The process-wide records that several layers share.
#include "swathlink/records.h"

namespace sl {

JobProp gJobProp;
PassInfo gPassInfo;
LinkContext gLink;
SwathQueue gSwathQueue;
alignas(8) UISetupPara UI_CurSetting;
uint32_t gPassSeq;
BoardMode gMode;
JobRequests gRequests;

}  // namespace sl
