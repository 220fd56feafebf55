"""Bytes in and out: decoding a text file with a clear error, and writing a file whole or not
at all (a temporary file beside the target, renamed over it when complete)."""
from __future__ import annotations

import errno
import os
import stat
import tempfile
from collections.abc import Callable, Sequence
from pathlib import Path

from .errors import FormatError

__all__ = ["decode", "footprint", "read_bytes", "read_text", "refuse_overwriting",
           "replace_together", "write_atomically", "write_text"]

# A network file is text of a few megabytes; a file this large is not one. The module's own
# file reader stops at the same size.
MAX_BYTES = 1 << 30


def read_bytes(path: str | os.PathLike[str]) -> bytes:
    """The bytes of a regular file, refused by its size before any is read. A device, a named
    pipe or a folder is refused too: opened without blocking, nothing waits for a writer."""
    source = os.fspath(path)
    try:
        handle = os.open(source, os.O_RDONLY | getattr(os, "O_NONBLOCK", 0))
    except OSError as error:
        raise FormatError(source, f"cannot read: {error.strerror or error}") from None
    info = os.fstat(handle)
    if not stat.S_ISREG(info.st_mode) or info.st_size > MAX_BYTES:
        os.close(handle)
        if stat.S_ISDIR(info.st_mode):
            raise FormatError(source, f"cannot read: {os.strerror(errno.EISDIR)}")
        if not stat.S_ISREG(info.st_mode):
            raise FormatError(source, "cannot read: not a regular file (a device or a pipe)")
        raise FormatError(source, "larger than 1 GiB: not a network file")
    with os.fdopen(handle, "rb") as stream:
        try:
            # As much as the file holds (a read buffer is allocated at the size asked for),
            # and one byte more to see one that grew past the limit meanwhile.
            data = stream.read(info.st_size + 1)
            while len(data) <= MAX_BYTES and (more := stream.read(1 << 20)):
                data += more
        except OSError as error:
            raise FormatError(source, f"cannot read: {error.strerror or error}") from None
    if len(data) > MAX_BYTES:
        raise FormatError(source, "larger than 1 GiB: not a network file")
    return data


def decode(source: str, data: bytes, what: str) -> str:
    """Text as every reader of rillway takes it: UTF-8, a byte-order mark dropped, or UTF-16
    with its byte-order mark. Anything else is refused, naming the first byte that is not
    UTF-8; NUL bytes outside UTF-16 mean a binary file, refused as not `what`."""
    if data.startswith((b"\xff\xfe", b"\xfe\xff")):
        try:
            return data.decode("utf-16")
        except UnicodeDecodeError as error:
            raise FormatError(source, f"not UTF-16 text (broken at offset {error.start})") \
                from None
    nul = data.find(b"\0")
    if nul >= 0:
        if len(data) > 1 and b"\0" in data[:2]:
            raise FormatError(source, "UTF-16 text without a byte-order mark: save it as "
                                      "UTF-8")
        raise FormatError(source, f"not {what}: binary data (NUL byte at offset {nul})")
    try:
        return data.decode("utf-8-sig")
    except UnicodeDecodeError as error:
        raise FormatError(source, f"not UTF-8 text (byte 0x{data[error.start]:02x} at offset "
                                  f"{error.start})") from None


def read_text(path: str | os.PathLike[str], what: str) -> str:
    """The file as text (see `decode`)."""
    return decode(os.fspath(path), read_bytes(path), what)


def write_atomically(path: str | os.PathLike[str], write: Callable[[str], None],
                     suffix: str | None = None) -> None:
    """Calls `write(temporary_path)` on a path in the target's folder, then renames the
    result over `path`, so that a failure leaves any earlier file untouched and no partial
    one. `suffix` keeps the extension a library chooses its driver by."""
    target = Path(path)
    folder = target.parent if str(target.parent) else Path(".")
    if target.is_dir():
        raise FormatError(os.fspath(path), "cannot write: it is a folder")
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


# The files of a Shapefile set beside its .shp; a stale one (a .prj of another network) would
# be read with the new set.
SHAPEFILE_PARTS = (".shp", ".shx", ".dbf", ".prj", ".cpg", ".qpj", ".sbn", ".sbx", ".qix",
                   ".shp.xml", ".rillway.json")


def footprint(path: str | os.PathLike[str]) -> list[Path]:
    """Every file a network file occupies: a Shapefile network is a set of files for its
    pipes and another for its structures (NAME_nodes.shp)."""
    target = Path(path)
    if target.suffix.lower() != ".shp":
        return [target]
    stems = (target.with_suffix(""), target.with_name(f"{target.stem}_nodes"))
    return [Path(f"{stem}{part}") for stem in stems for part in SHAPEFILE_PARTS]


def _same(a: Path, b: Path) -> bool:
    try:
        return os.path.samefile(a, b)
    except OSError:
        return os.path.abspath(a) == os.path.abspath(b)


def refuse_overwriting(target: str | os.PathLike[str],
                       inputs: Sequence[str | os.PathLike[str]]) -> None:
    """Refuses an output that would replace one of the inputs (the same file under any name,
    or a file of the same Shapefile set): what rillway does not read would be lost."""
    for source in inputs:
        if source == "-":
            continue
        for written in footprint(target):
            if any(_same(written, read) for read in footprint(source)):
                raise FormatError(os.fspath(target), f"is the input {os.fspath(source)}: "
                                                     "write the output to another file")


def replace_together(moves: list[tuple[str, Path]], source: str,
                     stale: list[Path] | tuple[Path, ...] = ()) -> None:
    """Moves each finished file (`staged`, `target`) over its target, as one step as far as a
    file system allows: the files replaced, and the `stale` ones the new set lacks (a .prj of
    another network), are kept aside until every move has succeeded and put back when one
    fails, so the set on disk is the old one or the new one."""
    kept: list[tuple[Path, Path]] = []
    placed: list[Path] = []
    targets = [target for _, target in moves]
    try:
        aside = Path(tempfile.mkdtemp(prefix=".rillway-old-", dir=targets[0].parent))
    except OSError as error:
        raise FormatError(source, f"cannot write: {error.strerror or error}") from None
    try:
        for index, target in enumerate([*targets, *(p for p in stale if p not in targets)]):
            if target.exists():
                os.replace(target, aside / f"{index}")
                kept.append((aside / f"{index}", target))
        for staged, target in moves:
            os.replace(staged, target)
            placed.append(target)
    except OSError as error:
        for target in placed:
            target.unlink(missing_ok=True)
        for old, target in kept:
            os.replace(old, target)
        raise FormatError(source, f"cannot write: {error.strerror or error}") from None
    finally:
        for leftover in aside.iterdir():
            leftover.unlink()
        aside.rmdir()
