// A small program to inspect: it counts, pauses at a debugger statement
// when a frontend is attached, and keeps running until stopped.
function fibonacci(n) {
  let [a, b] = [0, 1];
  for (let i = 0; i < n; i++) [a, b] = [b, a + b];
  return a;
}

let tick = 0;
setInterval(() => {
  tick += 1;
  const value = fibonacci(tick % 40);
  if (tick % 10 === 0) debugger;
  return value;
}, 500);
