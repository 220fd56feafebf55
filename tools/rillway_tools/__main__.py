"""`python -m rillway_tools` runs the `rillway` command."""
import sys

from .cli import main

sys.exit(main())
