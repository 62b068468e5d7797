"""Objects that stand in for integers through __index__, for tests of argument conversion."""


class Idx:
    """An index-like object: __index__ returns the value, raises it, or calls it."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        if isinstance(self.value, BaseException):
            raise self.value
        return self.value() if callable(self.value) else self.value
