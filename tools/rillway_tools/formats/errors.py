"""The one error every reader and writer raises: the file and what is wrong with it."""
from __future__ import annotations

from ..documents import DocumentError

__all__ = ["FormatError"]


class FormatError(DocumentError):
    """A network file that cannot be read or written. `source` names the file; `message`
    names the line, element or record and the problem. The `rillway` command prints it as
    one line and exits with status 2; nothing is left half written."""
