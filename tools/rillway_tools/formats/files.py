"""Bytes in and out: decoding a text file with a clear error, and writing a file whole or not
at all (a temporary file beside the target, renamed over it when complete)."""
from __future__ import annotations

import os
import tempfile
from collections.abc import Callable
from pathlib import Path

from .errors import FormatError

__all__ = ["read_bytes", "read_text", "write_atomically", "write_text"]

# A network file is text of a few megabytes; a file this large is not one.
MAX_BYTES = 1 << 30


def read_bytes(path: str | os.PathLike[str]) -> bytes:
    source = os.fspath(path)
    try:
        with open(source, "rb") as stream:
            data = stream.read(MAX_BYTES + 1)
    except OSError as error:
        raise FormatError(source, f"cannot read: {error.strerror or error}") from None
    if len(data) > MAX_BYTES:
        raise FormatError(source, "larger than 1 GiB: not a network file")
    return data


def read_text(path: str | os.PathLike[str], what: str) -> str:
    """The file as text: UTF-8 (a byte-order mark dropped), else Latin-1, which older
    programs on Windows write. NUL bytes mean a binary file, which is refused as not `what`."""
    source = os.fspath(path)
    data = read_bytes(path)
    nul = data.find(b"\0")
    if nul >= 0:
        raise FormatError(source, f"not {what}: binary data (NUL byte at offset {nul})")
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError:
        return data.decode("latin-1")


def write_atomically(path: str | os.PathLike[str], write: Callable[[str], None],
                     suffix: str | None = None) -> None:
    """Calls `write(temporary_path)` on a path in the target's folder, then renames the
    result over `path`, so that a failure leaves any earlier file untouched and no partial
    one. `suffix` keeps the extension a library chooses its driver by."""
    target = Path(path)
    folder = target.parent if str(target.parent) else Path(".")
    try:
        handle, temporary = tempfile.mkstemp(prefix=f".{target.name}.", dir=folder,
                                             suffix=suffix or target.suffix)
    except OSError as error:
        raise FormatError(os.fspath(path), f"cannot write: {error.strerror or error}") from None
    os.close(handle)
    try:
        os.unlink(temporary)  # libraries that refuse to overwrite get a free name
        write(temporary)
        os.replace(temporary, target)
    except OSError as error:
        raise FormatError(os.fspath(path), f"cannot write: {error.strerror or error}") from None
    finally:
        if os.path.exists(temporary):
            os.unlink(temporary)


def write_text(path: str | os.PathLike[str], text: str) -> None:
    def write(temporary: str) -> None:
        with open(temporary, "w", encoding="utf-8", newline="\n") as stream:
            stream.write(text)

    write_atomically(path, write)
