"""IntEnum classes made from enumeration descriptions of a type library."""

import pytest

from tevo import _enums


def test_members_get_short_aliases_without_the_shared_prefix():
    cls = _enums.enum_class({"name": "TestColourEnum", "doc": "Colours",
                             "members": [("TestColourRed", 0), ("TestColourGreen", 1),
                                         ("TestColourGrey", 2)]})
    assert cls.Red is cls.TestColourRed and cls.Grey.value == 2
    assert cls.__doc__ == "Colours" and cls.__module__ == "tevo"
    assert list(cls) == [cls.TestColourRed, cls.TestColourGreen, cls.TestColourGrey]
    # "Gr" is shared by two members but the prefix stops where a word starts.
    assert "een" not in cls.__members__ and "Green" in cls.__members__
    assert _enums.enum_class({"name": "TestColourEnum", "members": []}) is cls
    assert _enums.value_of(cls, "GREEN") is cls.Green
    assert _enums.value_of(cls, "testcolourgrey") is cls.Grey
    with pytest.raises(ValueError, match=r"TestColourRed \(0\)"):
        _enums.value_of(cls, "Blue")


def test_prefix_ends_where_a_word_starts():
    single = _enums.enum_class({"name": "TestSingleEnum", "doc": "",
                                "members": [("TestSingleOnly", 4)]})
    assert list(single.__members__) == ["TestSingleOnly"]
    numbered = _enums.enum_class({"name": "TestBandEnum", "doc": "",
                                  "members": [("TestBand1", 1), ("TestBand2", 2),
                                              ("TestBandWide", 3)]})
    # "TestBand" is shared, but "1" starts no word: the prefix is "Test", so no alias
    # is a bare number.
    assert set(numbered.__members__) == {"TestBand1", "TestBand2", "TestBandWide", "Band1",
                                         "Band2", "BandWide"}
