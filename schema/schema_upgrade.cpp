#include "schema/schema_upgrade.h"

namespace schema {

void RunUpgradeSteps(UpgradeContext&, int, int) {}

int LastUpgradeStep() { return 80; }

}  // namespace schema
