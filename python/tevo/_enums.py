"""Python IntEnum classes generated from the enumerations of the driver's type libraries.

Each enumeration becomes one IntEnum class named as in the library
(TevoDetectorTypeEnum) whose members carry the library's names
(TevoDetectorTypeMaxPeak) and, as aliases, those names without the prefix all members
share (MaxPeak).
"""

import enum
import keyword
import threading

_lock = threading.Lock()
_classes = {}
_libraries_loaded = False


def _shared_prefix(names):
    """The prefix all names share, cut back to where a word starts."""
    if len(names) < 2:
        return ""
    first = names[0]
    prefix = first
    for name in names[1:]:
        same = 0
        while same < min(len(prefix), len(name)) and prefix[same] == name[same]:
            same += 1
        prefix = prefix[:same]
    while prefix and not first[len(prefix)].isupper():
        prefix = prefix[:-1]
    return prefix


def enum_class(description):
    """The IntEnum class of an enumeration description {name, doc, members}."""
    name = description["name"]
    with _lock:
        found = _classes.get(name)
        if found is not None:
            return found
        members = [(member, value) for member, value in description["members"]]
        taken = {member for member, _ in members}
        prefix = _shared_prefix([member for member, _ in members])
        entries = list(members)
        for member, value in members:
            short = member[len(prefix):]
            if prefix and short.isidentifier() and not keyword.iskeyword(short) \
                    and not short.startswith("_") and short not in taken:
                taken.add(short)
                entries.append((short, value))
        cls = enum.IntEnum(name, entries, module="tevo")
        cls.__doc__ = description.get("doc") or "The %s enumeration of the driver." % name
        _classes[name] = cls
        return cls


def value_of(cls, text):
    """The member of `cls` named `text` (full or short name, any letter case)."""
    wanted = text.lower()
    for name, member in cls.__members__.items():
        if name.lower() == wanted:
            return member
    choices = ", ".join("%s (%d)" % (member.name, member.value) for member in cls)
    raise ValueError("%r is not a member of %s: %s" % (text, cls.__name__, choices))


def load_libraries(dispatch):
    """Creates the classes of every enumeration of the libraries `dispatch` is described
    in (once per process)."""
    global _libraries_loaded
    if _libraries_loaded:
        return
    for description in dispatch.library_enums():
        enum_class(description)
    _libraries_loaded = True


def libraries_loaded():
    return _libraries_loaded


def find(name):
    with _lock:
        return _classes.get(name)


def all_classes():
    with _lock:
        return dict(_classes)
