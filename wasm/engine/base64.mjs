// Bytes as base64 and back, as the engine's requests and replies carry them: under Node with
// its Buffer, in a browser (the page and the worker) with btoa and atob.
const isNode = typeof process === 'object' && Boolean(process.versions?.node);

export function bytesToBase64(bytes) {
    if (isNode) return Buffer.from(bytes).toString('base64');
    let text = '';
    for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(text);
}

export function base64ToBytes(text) {
    if (isNode) return new Uint8Array(Buffer.from(text, 'base64'));
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
}
