"""Python access to TavikSDK, the remote-disk client library, through ctypes.

    import tavik
    with tavik.Session("127.0.0.1", 9553, "demo") as disk:
        for entry in disk.listdir(""):
            print(entry.name, entry.size, entry.mtime, entry.is_dir)
        disk.download("report.txt", "report.txt", progress=lambda done, total: print(done, total))

Remote paths are relative to the session's folder unless they begin with "/" (then they are
the server's full paths, which begin with the session's folder). Local paths are made absolute;
the library reads them as device paths under TAVIK_DEVICE_ROOT (default "/"). Transfer paths
travel in the library's ANSI code page (TAVIK_ACP, default CP949).

Every failure raises tavik.Error with the library's code and text; a transfer stopped by its
progress callback raises tavik.Cancelled. A Session is for one thread at a time.
"""

import ctypes
import datetime
import os

from . import _library

__all__ = ["Session", "Entry", "Error", "Cancelled", "version"]

_INFO_FILES, _INFO_FOLDERS, _INFO_PATH, _INFO_SIZE, _INFO_TYPE, _INFO_DATE = 1, 2, 4, 8, 16, 32
_TYPE_FOLDER = 1
_ERR_WRONG_PARAMETER = 24001
_LARGEST_FILE = 0xFFFFFFFE  # 32-bit positions; 0xFFFFFFFF is the server's mark for "too large"


class Error(Exception):
    """A failure of the library: code is its error code (see TavikErrors.h), text its text."""

    def __init__(self, code, text):
        super().__init__(f"{text} ({code})" if text else f"error {code}")
        self.code = code
        self.text = text


class Cancelled(Error):
    """A transfer stopped because its progress callback returned False."""

    def __init__(self):
        super().__init__(0, "cancelled")


class Entry:
    """One entry of a listing: name (without folder), path (the server's full path), size in
    bytes, mtime (a naive datetime of the server's local time, or None when the server sent no
    date it could be read from), date (the server's own text) and is_dir."""

    __slots__ = ("name", "path", "size", "mtime", "date", "is_dir")

    def __init__(self, path, size, date, is_dir):
        self.path = path
        self.name = path.rstrip("/").rsplit("/", 1)[-1]
        self.size = size
        self.date = date
        self.mtime = _parse_date(date)
        self.is_dir = is_dir

    def __repr__(self):
        kind = "folder" if self.is_dir else f"{self.size} bytes"
        return f"<tavik.Entry {self.name!r} {kind}>"


def version():
    """The library's version and built features, e.g. ("1.0.0", {"IPv6", "TLS"})."""
    words = _library.sdk().tavik_GetVersion(None).decode("ascii").split()
    return words[0], set(words[1:])


class Session:
    """A logged-in session with a disk server: user is the disk id, password may be None, and
    timeout bounds every wait for the server in seconds (None: no limit). Raises Error when the
    connection or the login fails. Use it as a context manager, or call close()."""

    def __init__(self, host, port, user, password=None, timeout=30.0):
        self._handle = None
        self._sdk = _library.sdk()
        millis = -1 if timeout is None else max(0, int(timeout * 1000))
        handle = self._sdk.tavik_CreateSession(
            _wide(host), int(port), _wide(user), _wide(password), millis)
        if not handle:
            _raise_last(self._sdk)
        self._handle = handle
        self.root = _narrow16(self._sdk.tavik_GetSessionPath(handle))

    def __enter__(self):
        return self

    def __del__(self):
        # A session nobody closed is closed when it is collected (not at interpreter exit,
        # when the library may already be gone).
        try:
            self.close()
        except Exception:
            pass

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self):
        """Closes the connection; later calls fail with Error 24002."""
        if self._handle:
            self._sdk.tavik_DestroySession(self._handle)
            self._handle = None

    def remote_path(self, path):
        """The server's full path of a path relative to the session's folder."""
        if path.startswith("/"):
            return path
        path = path.strip("/")
        return f"{self.root}/{path}" if path else self.root

    def listdir(self, path=""):
        """Yields an Entry for each file and folder in the remote folder path."""
        folder = self.remote_path(path)
        infotype = _INFO_FILES | _INFO_FOLDERS | _INFO_PATH | _INFO_SIZE | _INFO_TYPE | _INFO_DATE
        count = ctypes.c_int(0)
        listing = self._sdk.tavik_OpenFileInfo(
            _wide(folder), infotype, 1, ctypes.byref(count), self._handle)
        if not listing:
            _raise_last(self._sdk)
        try:
            entries = []
            for index in range(listing.contents.nCount):
                info = self._sdk.tavik_ReadFileInfo(listing, index)
                if not info or not info.contents.pszName:
                    continue
                full = _narrow16(info.contents.pszName)
                if full.rstrip("/") == folder.rstrip("/"):
                    continue  # a folder's listing holds the folder itself too
                entries.append(Entry(full, info.contents.dwSize,
                                     _narrow16(info.contents.pszDate),
                                     info.contents.dwType == _TYPE_FOLDER))
        finally:
            self._sdk.tavik_CloseFileInfo(listing)
        yield from entries

    def download(self, remote, local, progress=None):
        """Downloads the remote file into the local file (made anew). progress, when given, is
        called as progress(done, total) with byte counts; returning False cancels (Cancelled
        is raised; the local file keeps what arrived)."""
        source = self.remote_path(remote)
        size = self._sdk.tavik_GetFileSize(_wide(source), self._handle)
        if size < 0:
            _raise_last(self._sdk)
        self._transfer(self._sdk.tavik_Download, _ansi(source),
                       _ansi(os.path.abspath(local)), size, progress)

    def upload(self, local, remote, progress=None):
        """Uploads the local file to the remote path (made anew), with progress as download."""
        local = os.path.abspath(local)
        size = os.path.getsize(local)
        if size > _LARGEST_FILE:
            raise Error(_ERR_WRONG_PARAMETER, "file too large for 32-bit positions")
        self._transfer(self._sdk.tavik_Upload, _ansi(local),
                       _ansi(self.remote_path(remote)), size, progress)

    def _transfer(self, function, source, destination, size, progress):
        cancel = ctypes.c_int(0)
        failure = []

        def notice(record):
            if progress is None or cancel.value:
                return
            try:
                if progress(record.contents.dwPos, record.contents.pTransfer.contents.dwEndPos) \
                        is False:
                    cancel.value = 1
            except BaseException as error:  # carried out of the library's call, then raised
                failure.append(error)
                cancel.value = 1

        callback = _library.PROGRESS_PROC(notice)
        transfer = _library.Transfer(pszSrcPath=source, pszDstPath=destination, dwEndPos=size,
                                     bTrunc=1, pfnProgress=callback)
        done = function(self._handle, ctypes.byref(transfer), ctypes.byref(cancel))
        if failure:
            raise failure[0]
        if not done:
            _raise_last(self._sdk)
        if cancel.value:
            raise Cancelled()


def _wide(text):
    """UTF-16 text with its terminator for an LPCWSTR argument (None stays null)."""
    if text is None:
        return None
    return ctypes.c_char_p((text + "\0").encode("utf-16-le"))


def _narrow16(pointer):
    """The str of a library LPCWSTR (None for null)."""
    if not pointer:
        return None
    units = []
    index = 0
    while pointer[index] != 0:
        units.append(pointer[index])
        index += 1
    return b"".join(unit.to_bytes(2, "little") for unit in units).decode("utf-16-le", "replace")


def _ansi(text):
    codec = os.environ.get("TAVIK_ACP", "CP949")
    try:
        return text.encode(codec)
    except LookupError:
        return text.encode("utf-8")
    except UnicodeEncodeError as error:
        raise Error(_ERR_WRONG_PARAMETER, f"{text!r} cannot be written in {codec}") from error


def _parse_date(text):
    for form in ("%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M"):
        try:
            return datetime.datetime.strptime(text or "", form)
        except ValueError:
            continue
    return None


def _raise_last(sdk):
    raise Error(sdk.tavik_GetLastError(), _narrow16(sdk.tavik_GetLastErrStr()) or "")
