"""The type stub says what the module has: the same functions and methods with
the same parameters in the same order, the same defaults and keyword-only
parameters, the same classes with the same attributes; and help() shows a
type for every parameter and result."""

import ast
import inspect
import pathlib
import re

import quillmore

STUB = pathlib.Path(quillmore.__file__).with_name("quillmore.pyi")


def stub_tree():
    return ast.parse(STUB.read_text())


def module_parameters(function):
    """(name, default, keyword-only) from the signature pybind11 writes into
    the docstring, whose types hold no '=' and no ', name:'."""
    first = function.__doc__.splitlines()[0]
    inside = first[first.index("(") + 1:first.rindex(") ->")]
    star = inside.find(", *,")
    return [(m.group(1), m.group(2), 0 <= star < m.start()) for m in
            re.finditer(r"(?:^|, )(\w+): [^=]*?(?: = ([^,]+))?(?=, \w+: |, \*,|$)", inside) if m.group(1) != "self"]


def stub_parameters(node):
    a = node.args
    positional = [p.arg for p in a.posonlyargs + a.args]
    defaults = [None] * (len(positional) - len(a.defaults)) + [repr(ast.literal_eval(d)) for d in a.defaults]
    keyword = [(p.arg, repr(ast.literal_eval(d)), True) for p, d in zip(a.kwonlyargs, a.kw_defaults)]
    return [(p, d, False) for p, d in zip(positional, defaults) if p != "self"] + keyword


def test_every_function_and_method_has_its_parameters_in_the_stub():
    stubbed = {}
    for node in stub_tree().body:
        if isinstance(node, ast.FunctionDef):
            stubbed.setdefault(node.name, node)  # the first of an overloaded pair
        elif isinstance(node, ast.ClassDef):
            stubbed.update({f"{node.name}.{f.name}": f for f in node.body if isinstance(f, ast.FunctionDef)})
    functions = {name: value for name, value in vars(quillmore).items()
                 if callable(value) and not inspect.isclass(value) and not name.startswith("_")}
    for name, cls in vars(quillmore).items():
        if inspect.isclass(cls):
            functions.update({f"{name}.{m}": getattr(cls, m) for m, v in vars(cls).items()
                              if callable(v) and not m.startswith("_")})
    assert set(stubbed) == set(functions)
    for name, function in functions.items():
        assert stub_parameters(stubbed[name]) == module_parameters(function), name
        # help() names a type for every parameter and the result.
        assert not re.search(r": (handle|object)\b|-> object\b", function.__doc__.splitlines()[0]), name


def test_every_class_has_its_attributes_in_the_stub():
    stubbed = {node.name: {item.target.id for item in node.body if isinstance(item, ast.AnnAssign)}
               for node in stub_tree().body if isinstance(node, ast.ClassDef)}
    classes = {name: value for name, value in vars(quillmore).items() if inspect.isclass(value)}
    assert set(stubbed) == set(classes)
    for name, cls in classes.items():
        attributes = {a for a, v in vars(cls).items() if isinstance(v, property)}
        assert stubbed[name] == attributes, name
