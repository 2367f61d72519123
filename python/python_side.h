// The plain Python part of the module `varnholt`, run when it is imported.
#ifndef VARNHOLT_PYTHON_SIDE_H
#define VARNHOLT_PYTHON_SIDE_H

// The module's plain Python: the kept text of a parameter, the list that writes through to its
// attribute, and the select values that remember their type's name.
inline const char* const kPythonSide = R"PY(
class Kept:
    """A parameter of the file kept as written, where its attribute could not take it; a save
    writes it back unchanged."""
    __slots__ = ("text",)

    def __init__(self, text):
        self.text = text

    def __repr__(self):
        return "varnholt.Kept(%r)" % (self.text,)

    def __str__(self):
        return self.text

    def __eq__(self, other):
        return isinstance(other, Kept) and other.text == self.text

    def __hash__(self):
        return hash((Kept, self.text))


class _Int(int):
    pass


class _Float(float):
    pass


class _Str(str):
    pass


_TYPED = {int: _Int, float: _Float, str: _Str}


def _typed_value(value, name):
    kind = _TYPED.get(type(value))
    if kind is None:
        return value
    out = kind(value)
    out._varnholt_type = name
    return out


def typed(value):
    """The type name written with a select's value ('length_measure'), else None."""
    return getattr(value, "_varnholt_type", None)


class List(list):
    """A list attribute of an instance. It reads as a list; x[i] = v and x.append(v) change the
    instance's value with the rules of every edit. The rows of a list of lists are read-only."""

    def __init__(self, items, owner=None, attribute=None):
        list.__init__(self, (List(i) if type(i) is list else i for i in items))
        self._owner = owner
        self._attribute = attribute

    def _writable(self):
        if self._owner is None:
            raise TypeError("the rows of a list of lists cannot be changed")
        return self._owner

    def __setitem__(self, index, value):
        owner = self._writable()
        if isinstance(index, slice):
            raise TypeError("the elements of a list of the file are set one by one")
        i = index + len(self) if index < 0 else index
        if not 0 <= i < len(self):
            raise IndexError("list assignment index out of range")
        list.__setitem__(self, i, owner._set_element(self._attribute, i, value))

    def append(self, value):
        owner = self._writable()
        list.append(self, owner._append(self._attribute, value))

    def _refuse(self, *args, **kwargs):
        raise TypeError("a list of the file changes by x[i] = v and x.append(v) only")

    __delitem__ = extend = insert = pop = remove = clear = sort = reverse = _refuse
    __iadd__ = __imul__ = _refuse


class Record:
    """Read-only values of the machining program: a workingstep, its feature, operation or
    tool. Its fields are attributes; setting one raises AttributeError."""
    __slots__ = ("_fields",)

    def __init__(self, **fields):
        object.__setattr__(self, "_fields", fields)

    def __getattr__(self, name):
        try:
            return object.__getattribute__(self, "_fields")[name]
        except KeyError:
            raise AttributeError(name) from None

    def __setattr__(self, name, value):
        raise AttributeError("the program is read only")

    def __delattr__(self, name):
        raise AttributeError("the program is read only")

    def __dir__(self):
        return list(self._fields)

    def __eq__(self, other):
        return isinstance(other, Record) and other._fields == self._fields

    __hash__ = None

    def __repr__(self):
        return "varnholt.Record(%s)" % ", ".join("%s=%r" % i for i in self._fields.items() if i[0] != "moves")
)PY";

#endif
