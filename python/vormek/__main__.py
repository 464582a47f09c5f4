import sys

from vormek.cli import main

sys.exit(main())
