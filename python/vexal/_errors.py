"""The exceptions of vexal."""

from typing import Any, Optional


class HubError(Exception):
    """A call to the hub failed.

    ``code`` is the configuration library's result code (for example 1011, no
    reply from the hub in time; 1006, the port could not be opened) or, for a
    change of the custom device table, the hub's own status (4, the pair is
    already listed); ``meaning`` says it in words. ``str(error)`` names the
    hub and the call.
    """

    def __init__(self, message: str, code: int = 1000, meaning: str = "") -> None:
        super().__init__(message, code, meaning)
        self.message = message
        self.code = code
        self.meaning = meaning

    def __str__(self) -> str:
        return self.message


class RestoreError(HubError):
    """A group of a restore was refused (it breaks the hub's rules, or the
    file holds it in a form that cannot be used: that group is not written)
    or a group's write failed; the other groups went ahead. ``result`` is the
    :class:`vexal.RestoreResult` with each group's outcome."""

    def __init__(self, message: str, code: int = 1000, meaning: str = "", result: Optional[Any] = None) -> None:
        super().__init__(message, code, meaning)
        self.args = (message, code, meaning, result)
        self.result = result


class DeviceError(HubError):
    """A device behind the hub could not be reached: it is not present (nothing
    was sent), or a send ended before all its bytes went. ``device`` is its
    ID; ``sent`` the bytes the port library reported written (never more
    than went); ``alarm`` the hub's write alarm (1200-1204, also ``code``,
    with its name in ``meaning``) when one ended the send, else None."""

    def __init__(
        self,
        message: str,
        code: int = 1000,
        meaning: str = "",
        device: int = 0,
        sent: int = 0,
        alarm: Optional[int] = None,
    ) -> None:
        super().__init__(message, code, meaning)
        self.args = (message, code, meaning, device, sent, alarm)
        self.device = device
        self.sent = sent
        self.alarm = alarm


class SessionError(RuntimeError):
    """A session was used wrongly: after it was closed, or from a second
    thread while a call of another thread was still running in it."""


class LibraryError(RuntimeError):
    """The configuration library (libZamoCfg.so) could not be loaded or lacks
    an entry point."""
