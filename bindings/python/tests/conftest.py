"""Test set-up: the package from this source tree (or, with QRKIT_TEST_INSTALLED=1, the one on the
path), the readers of tests/tools, and a scratch folder per test.

The library is found as the package finds it; ctest runs these tests with LD_LIBRARY_PATH naming the
build folder.
"""

import os
import sys
from pathlib import Path

SOURCE_ROOT = Path(__file__).resolve().parents[3]
PACKAGE_ROOT = Path(__file__).resolve().parents[1]

sys.path.insert(0, str(SOURCE_ROOT / "tests" / "tools"))
if os.environ.get("QRKIT_TEST_INSTALLED") != "1":
    sys.path.insert(0, str(PACKAGE_ROOT))
