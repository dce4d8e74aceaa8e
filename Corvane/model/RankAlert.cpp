#include "model/RankAlert.h"

RankAlertKind RankAlert::kind() const
{
    return RankAlertKinds::fromRaw(kindRaw).value_or(RankAlertKind::movedUp);
}
